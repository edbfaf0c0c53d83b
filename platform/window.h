#pragma once
// The progress window and the message box: a top-level window of the class
// "ZAM_Orvanta_Update_Tool_Class" holding a read-only multi-line EDIT control.
// Positions in the control are UTF-16 units, with the EDIT control's
// selection semantics.
#include <cstdint>
#include <string>
#include <utility>

#include "platform/errors.h"

namespace platform {

// A window; invalid as null. Move-only, destroyed on destruction (a child
// goes with its parent, after which destroying it again does nothing).
class Window {
 public:
  Window() = default;
  explicit Window(std::intptr_t native) : native_(native) {}
  ~Window() { Destroy(); }
  Window(Window&& other) noexcept : native_(other.native_) { other.native_ = 0; }
  Window& operator=(Window&& other) noexcept {
    if (this != &other) {
      Destroy();
      native_ = std::exchange(other.native_, 0);
    }
    return *this;
  }
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  bool IsValid() const { return native_ != 0; }
  void Destroy();
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = 0;
};

// A GDI font; invalid as null. Deleted on destruction.
class Font {
 public:
  Font() = default;
  explicit Font(std::intptr_t native) : native_(native) {}
  ~Font() { Delete(); }
  Font(Font&& other) noexcept : native_(other.native_) { other.native_ = 0; }
  Font& operator=(Font&& other) noexcept {
    if (this != &other) {
      Delete();
      native_ = std::exchange(other.native_, 0);
    }
    return *this;
  }
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  bool IsValid() const { return native_ != 0; }
  void Delete();
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = 0;
};

// SM_CXSCREEN and SM_CYSCREEN.
int ScreenWidth();
int ScreenHeight();

// Registers the window class (CS_HREDRAW | CS_VREDRAW, arrow cursor,
// COLOR_WINDOW + 1 background). Its procedure moves the focus to the text
// control whenever the main window receives it.
bool RegisterProgressWindowClass();

// The main window: style WS_POPUP | WS_CAPTION, shown with `showCommand` and
// painted at once. Invalid when it cannot be created.
Window CreateProgressWindow(const std::u16string& caption, int x, int y, int width, int height,
                            int showCommand);

// The client area's size.
bool ClientSize(const Window& window, int* width, int* height);

// The read-only multi-line EDIT control over the parent's client area.
Window CreateTextControl(const Window& parent, int width, int height);

// Height 20, normal weight, DEFAULT_CHARSET, "Calibri".
Font CreateTextFont();
// WM_SETFONT with redrawing; an invalid font detaches the current one.
void SetControlFont(const Window& control, const Font& font);

// EM_REPLACESEL (not undoable), through the wide or the narrow interface.
void ReplaceSelection(const Window& control, const std::u16string& text);
void ReplaceSelectionNarrow(const Window& control, const std::string& text);
// EM_GETSEL and EM_SETSEL.
void GetSelection(const Window& control, std::uint32_t* start, std::uint32_t* end);
void SetSelection(const Window& control, std::uint32_t start, std::uint32_t end);
// The whole text of a window (GetWindowText).
std::u16string WindowText(const Window& window);

// Dispatches every message waiting for the thread; never blocks.
void PumpWindowMessages();

// A message box with one OK button; returns when the user has closed it.
void ShowMessageBox(const std::u16string& text, const std::u16string& caption);

}  // namespace platform
