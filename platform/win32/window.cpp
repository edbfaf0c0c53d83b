#include "platform/window.h"

#include <windows.h>

namespace platform {
namespace {

constexpr wchar_t kClassName[] = L"ZAM_Orvanta_Update_Tool_Class";

HWND Hwnd(const Window& window) { return reinterpret_cast<HWND>(window.native()); }

const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETFOCUS) {
    HWND text = ::GetWindow(window, GW_CHILD);
    if (text != nullptr) ::SetFocus(text);
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace


void Window::Destroy() {
  if (native_ == 0) return;
  DWORD saved = ::GetLastError();
  // A child already destroyed with its parent is no window any more.
  if (::IsWindow(Hwnd(*this))) ::DestroyWindow(Hwnd(*this));
  native_ = 0;
  ::SetLastError(saved);
}


void Font::Delete() {
  if (native_ == 0) return;
  ::DeleteObject(reinterpret_cast<HFONT>(native_));
  native_ = 0;
}

int ScreenWidth() { return ::GetSystemMetrics(SM_CXSCREEN); }
int ScreenHeight() { return ::GetSystemMetrics(SM_CYSCREEN); }

bool RegisterProgressWindowClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ProgressWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kClassName;
  return ::RegisterClassExW(&wc) != 0;
}

Window CreateProgressWindow(const std::u16string& caption, int x, int y, int width, int height,
                            int showCommand) {
  HWND window = ::CreateWindowExW(0, kClassName, Wide(caption), WS_POPUP | WS_CAPTION, x, y, width, height,
                                  nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) return Window();
  ::ShowWindow(window, showCommand);
  ::UpdateWindow(window);
  return Window(reinterpret_cast<std::intptr_t>(window));
}

bool ClientSize(const Window& window, int* width, int* height) {
  RECT rect;
  if (!::GetClientRect(Hwnd(window), &rect)) return false;
  *width = rect.right - rect.left;
  *height = rect.bottom - rect.top;
  return true;
}

Window CreateTextControl(const Window& parent, int width, int height) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL |
                ES_READONLY | ES_WANTRETURN;
  HWND control = ::CreateWindowExW(0, L"EDIT", L"", style, 0, 0, width, height, Hwnd(parent), nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
  return Window(reinterpret_cast<std::intptr_t>(control));
}

Font CreateTextFont() {
  LOGFONTW font = {};
  font.lfHeight = 20;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  lstrcpyW(font.lfFaceName, L"Calibri");
  return Font(reinterpret_cast<std::intptr_t>(::CreateFontIndirectW(&font)));
}

void SetControlFont(const Window& control, const Font& font) {
  if (!control.IsValid()) return;
  ::SendMessageW(Hwnd(control), WM_SETFONT, static_cast<WPARAM>(font.native()), TRUE);
}

void ReplaceSelection(const Window& control, const std::u16string& text) {
  if (!control.IsValid()) return;
  ::SendMessageW(Hwnd(control), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text)));
}

void ReplaceSelectionNarrow(const Window& control, const std::string& text) {
  if (!control.IsValid()) return;
  ::SendMessageA(Hwnd(control), EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
}

void GetSelection(const Window& control, std::uint32_t* start, std::uint32_t* end) {
  DWORD first = 0;
  DWORD last = 0;
  if (control.IsValid()) {
    ::SendMessageW(Hwnd(control), EM_GETSEL, reinterpret_cast<WPARAM>(&first), reinterpret_cast<LPARAM>(&last));
  }
  *start = first;
  *end = last;
}

void SetSelection(const Window& control, std::uint32_t start, std::uint32_t end) {
  if (!control.IsValid()) return;
  ::SendMessageW(Hwnd(control), EM_SETSEL, start, end);
}

std::u16string WindowText(const Window& window) {
  if (!window.IsValid()) return std::u16string();
  int length = ::GetWindowTextLengthW(Hwnd(window));
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  int copied = ::GetWindowTextW(Hwnd(window), reinterpret_cast<wchar_t*>(text.data()), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void PumpWindowMessages() {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
  }
}

void ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  ::MessageBoxW(nullptr, Wide(text), Wide(caption), MB_OK);
}

}  // namespace platform
