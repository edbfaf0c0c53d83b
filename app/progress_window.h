#pragma once
// The progress window: a caption with the localized title and a read-only
// text control that the run writes its progress into. The window has no
// message loop of its own; long operations call PumpMessages between steps.
#include <cstdint>

namespace app {

// Where the window goes on a screen of cx by cy: the full width and 95 % of
// the height on the device, 1024 x 600 in demo mode; centred either way.
struct WindowGeometry {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
WindowGeometry ProgressWindowGeometry(bool demoMode, int cx, int cy);

// Sets bDemoMode from the descriptor and creates the window in its size,
// shown with `showCommand`. False when the main window cannot be created.
bool InitApp(int showCommand);

// Dispatches every message waiting for the thread; never blocks.
void PumpMessages();

// Appends message `id` in the current language at the text control's selection.
void ShowMessage(int id);

// Appends printf-style narrow text at the selection.
void AppendText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes stage message `id` at the stage anchor (a new anchor at the end of the
// text when `lineStart`), sets the percent anchor behind it; returns that position.
std::uint32_t ShowStage(int id, bool lineStart);

// Sets the count that is 100 %.
void SetProgressTotal(std::uint32_t total);

// Shows the percentage of `done` against the total behind the stage text,
// writing only when it changed.
void ShowProgress(std::uint32_t done);

// Destroys the window (the font lives on until ReleaseFont).
void DestroyProgressWindow();

// Detaches the font from the text control and deletes it.
void ReleaseFont();

}  // namespace app
