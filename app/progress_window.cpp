#include "app/progress_window.h"

#include <cstdarg>
#include <cstdio>

#include "app/descriptor.h"
#include "app/messages.h"
#include "app/run_state.h"

namespace app {
namespace {

// The formatting buffers: 400 characters with the terminator, longer texts are cut.
constexpr std::size_t kTextBuffer = 400;
constexpr std::uint32_t kExactLimit = 1000000;

ProgressWindowState& State() { return Run().window; }

}  // namespace

WindowGeometry ProgressWindowGeometry(bool demoMode, int cx, int cy) {
  WindowGeometry g;
  g.width = demoMode ? 1024 : cx;
  g.height = demoMode ? 600 : cy - cy / 20;
  g.x = (cx - g.width) / 2;
  g.y = (cy - g.height) / 2;
  return g;
}

bool InitApp(int showCommand) {
  Run().bDemoMode = ReadIsTargetHardware();
  platform::RegisterProgressWindowClass();
  WindowGeometry g = ProgressWindowGeometry(Run().bDemoMode, platform::ScreenWidth(), platform::ScreenHeight());
  ProgressWindowState& state = State();
  state.mainWindow = platform::CreateProgressWindow(GetLocalizedText(1), g.x, g.y, g.width, g.height, showCommand);
  if (!state.mainWindow.IsValid()) return false;
  int width = 0;
  int height = 0;
  platform::ClientSize(state.mainWindow, &width, &height);
  state.textControl = platform::CreateTextControl(state.mainWindow, width, height);
  state.font = platform::CreateTextFont();
  platform::SetControlFont(state.textControl, state.font);
  return true;
}

void PumpMessages() { platform::PumpWindowMessages(); }

void ShowMessage(int id) {
  std::u16string text = GetLocalizedText(id);
  if (text.size() >= kTextBuffer) text.resize(kTextBuffer - 1);
  platform::ReplaceSelection(State().textControl, text);
}

void AppendText(const char* format, ...) {
  char buffer[kTextBuffer];
  va_list args;
  va_start(args, format);
  int length = std::vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (length < 0) return;
  platform::ReplaceSelectionNarrow(State().textControl, buffer);
}

std::uint32_t ShowStage(int id, bool lineStart) {
  ProgressWindowState& state = State();
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  platform::GetSelection(state.textControl, &start, &end);
  if (lineStart) {
    state.stageAnchor = end;
  } else {
    platform::SetSelection(state.textControl, state.stageAnchor, end);
  }
  ShowMessage(id);
  platform::GetSelection(state.textControl, &start, &end);
  state.percentAnchor = end;
  return end;
}

void SetProgressTotal(std::uint32_t total) {
  ProgressWindowState& state = State();
  state.exactMode = total <= kExactLimit;
  state.divisor = state.exactMode ? total : total / 100;
}

void ShowProgress(std::uint32_t done) {
  ProgressWindowState& state = State();
  std::uint32_t percentage = 100;
  if (state.divisor != 0) percentage = state.exactMode ? done * 100 / state.divisor : done / state.divisor;
  if (static_cast<std::int32_t>(percentage) == state.lastPercentage) return;
  std::uint32_t start = 0;
  std::uint32_t end = 0;
  platform::GetSelection(state.textControl, &start, &end);
  platform::SetSelection(state.textControl, state.percentAnchor, end);
  char text[10];
  std::snprintf(text, sizeof(text), "%d%%", static_cast<int>(percentage));
  platform::ReplaceSelectionNarrow(state.textControl, text);
  state.lastPercentage = static_cast<std::int32_t>(percentage);
}

// The text control goes with its parent.
void DestroyProgressWindow() { State().mainWindow.Destroy(); }

void ReleaseFont() {
  ProgressWindowState& state = State();
  if (!state.font.IsValid()) return;
  platform::SetControlFont(state.textControl, platform::Font());
  state.font.Delete();
}

}  // namespace app
