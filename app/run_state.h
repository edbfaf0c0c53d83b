#pragma once
// The updater's run-wide state: one instance per process.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/power.h"
#include "platform/window.h"
#include "version/package_type.h"

namespace app {

// The progress window and the state of its text.
struct ProgressWindowState {
  platform::Window mainWindow;
  platform::Window textControl;
  platform::Font font;
  std::uint32_t stageAnchor = 0;
  std::uint32_t percentAnchor = 0;
  std::uint32_t divisor = 0;
  bool exactMode = true;
  std::int32_t lastPercentage = -1;
};

// System preparation's state.
struct SystemPrepState {
  // The keep-awake power request; invalid while none is held.
  platform::PowerRequest keepAwake;
  // Cleared by the first successful capability query.
  bool capabilitiesNotYetRead = true;
  platform::PowerCapabilities capabilities;
  // The execution-required request timeout as last read; never written back.
  std::uint32_t rememberedAc = 0;
  std::uint32_t rememberedDc = 0;
};

struct RunState {
  // Run log: the path fixed by the first write of the run ("" until then).
  std::string logPath;

  // The image of the program that started the run ("" when not known): the
  // application to bring back when the descriptor names no location.
  std::string launchingImage;

  // Current language, an index into the message table's columns.
  int language = 0;

  // From the descriptor. Both stay false when it is missing or unusable, so
  // they are not complements.
  bool bDemoMode = false;
  bool bOnDevice = false;
  // Destination folder per package type.
  std::array<std::string, version::kPackageTypeCount> LocationPaths;
  // Package files in descriptor order, duplicates and empty entries kept.
  std::vector<std::string> UpdateFiles;

  // MSI installers written during the run, without case-insensitive duplicates.
  std::vector<std::string> Installers;
  // Some change waits for the next system start; never cleared once set.
  bool bRebootRequired = false;

  ProgressWindowState window;
  SystemPrepState systemPrep;
};

RunState& Run();

}  // namespace app
