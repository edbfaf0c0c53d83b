#pragma once
// What every fuzz target shares: a fresh simulated device of its own under
// the host's temporary folder, entered as the working directory, and
// libFuzzer's paths made absolute first, so that corpus folders given
// relative to where the run was started still resolve and crash files land
// there rather than on the device.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/scratch.h"

namespace fuzzdevice {

// Rewrites argv once, before libFuzzer reads its flags: relative corpus
// folders and file arguments become absolute, and without an
// -artifact_prefix crash files go to the starting folder.
inline void AbsoluteArguments(int* argc, char*** argv) {
  static std::vector<std::string> storage;
  static std::vector<char*> pointers;
  std::string start = std::filesystem::current_path().string() + "/";
  bool prefix = false;
  storage.clear();
  for (int i = 0; i < *argc; ++i) {
    std::string argument = (*argv)[i];
    if (argument.rfind("-artifact_prefix=", 0) == 0) prefix = true;
    if (i > 0 && !argument.empty() && argument[0] != '-' && argument[0] != '/') argument = start + argument;
    storage.push_back(argument);
  }
  if (!prefix) storage.push_back("-artifact_prefix=" + start);
  pointers.clear();
  for (std::string& argument : storage) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(storage.size());
  *argv = pointers.data();
}

// A new device root with the folders given (device paths such as "C:\\fuzz\\run"),
// the last of which becomes the working directory; waits take no time.
inline std::string EnterDevice(const std::vector<std::string>& folders) {
  std::filesystem::path root =
      std::filesystem::temp_directory_path() / ("orvanta-fuzz-" + std::to_string(getpid()) + "-" +
                                                std::to_string(std::random_device{}()));
  std::filesystem::create_directories(root / "C");
  testsupport::SetEnvironment("ORVANTA_DEVICE_ROOT", root.string());
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  for (const std::string& folder : folders) {
    std::string walk;
    for (std::size_t cut = 0; cut != std::string::npos;) {
      cut = folder.find('\\', cut + 1);
      walk = folder.substr(0, cut);
      if (walk.size() > 2) platform::MakeFolder(walk);
    }
  }
  if (!folders.empty()) testsupport::ChangeDirectory(folders.back());
  return root.string();
}

inline bool WriteDeviceFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  platform::File file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareNone,
                                           platform::Disposition::CreateAlways, platform::kAttributeNormal);
  if (!file.IsValid()) return false;
  return size == 0 || platform::WriteToFile(file, data, static_cast<platform::Dword>(size), nullptr);
}

inline void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace fuzzdevice
