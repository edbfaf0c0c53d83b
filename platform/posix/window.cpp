// The simulated progress window: a model of the window and its EDIT control
// with Windows' selection semantics in UTF-16 positions. Its text goes to
// sim/window.txt and, when standard output is a terminal, to the terminal.
#include "platform/window.h"

#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <vector>

#include "platform/posix/sim_device.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr Dword kErrorCannotFindWindowClass = 1407;
constexpr Dword kErrorInvalidWindowHandle = 1400;
// The simulated frame: a one-pixel border and a 23-pixel caption.
constexpr int kBorder = 1;
constexpr int kCaption = 23;

struct SimWindow {
  bool edit = false;
  std::intptr_t parent = 0;
  std::u16string caption;
  int width = 0;
  int height = 0;
  std::u16string text;
  std::uint32_t selectionStart = 0;
  std::uint32_t selectionEnd = 0;
};

struct SimDisplay {
  std::map<std::intptr_t, SimWindow> windows;
  std::intptr_t nextWindow = 1;
  bool classRegistered = false;
  // What was last drawn to the terminal and written to sim/window.txt.
  std::u16string drawn;
  int drawnRows = 0;
  std::u16string written;
  bool everWritten = false;
};

// Never destroyed: windows held in other static objects may still be
// destroyed at exit, after this file's statics would be gone.
SimDisplay& Display() {
  static SimDisplay* display = new SimDisplay;
  return *display;
}

SimWindow* Find(const Window& window) {
  auto found = Display().windows.find(window.native());
  return found == Display().windows.end() ? nullptr : &found->second;
}

SimWindow* FindEdit(const Window& control) {
  SimWindow* w = Find(control);
  return (w != nullptr && w->edit) ? w : nullptr;
}

// The progress text is the text of the (one) text control.
const SimWindow* TextControl() {
  for (const auto& entry : Display().windows) {
    if (entry.second.edit) return &entry.second;
  }
  return nullptr;
}

const SimWindow* MainWindow() {
  for (const auto& entry : Display().windows) {
    if (!entry.second.edit) return &entry.second;
  }
  return nullptr;
}

void WriteWindowFile(const std::u16string& text) {
  if (Display().everWritten && text == Display().written) return;
  std::ofstream out(sim::SimFile("window.txt"), std::ios::binary | std::ios::trunc);
  out << WideToUtf8(text);
  Display().written = text;
  Display().everWritten = true;
}

std::string ForTerminal(const std::u16string& text) {
  std::string out;
  for (char c : WideToUtf8(text)) {
    if (c != '\r') out += c;
  }
  return out;
}

// Characters of UTF-8 text, one terminal column each.
std::size_t Characters(const std::string& text) {
  std::size_t characters = 0;
  for (char c : text) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  }
  return characters;
}

// The byte where the first `count` characters of UTF-8 text end.
std::size_t ByteOfCharacter(const std::string& text, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t seen = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && seen++ == count) break;
  }
  return at;
}

// One line of text as terminal rows of at most `columns` characters, broken
// at blanks; a word longer than a row is broken where the row ends.
void WrapLine(std::string line, std::size_t columns, std::vector<std::string>* rows) {
  while (Characters(line) > columns) {
    std::size_t limit = ByteOfCharacter(line, columns);
    std::size_t blank = line.rfind(' ', limit);
    std::size_t cut = blank != std::string::npos && blank > 0 ? blank : limit;
    rows->push_back(line.substr(0, cut));
    line = line.substr(cut);
    line.erase(0, line.find_first_not_of(' ') == std::string::npos ? line.size() : line.find_first_not_of(' '));
  }
  rows->push_back(line);
}

// Whether the window goes to the terminal: standard output is one, and
// ORVANTA_SIM_DRAW_WINDOW is not 0 (orvanta-sim try keeps the terminal for
// its report).
bool DrawsOnTerminal() {
  const char* draw = std::getenv("ORVANTA_SIM_DRAW_WINDOW");
  return isatty(STDOUT_FILENO) && (draw == nullptr || std::string(draw) != "0");
}

// The window is redrawn in place: the cursor goes back up over the rows of
// the last drawing, which is cleared, so the scrollback keeps one window.
// The caption is the title bar; the text's first line, where it repeats
// the caption, is left out. Each frame is one write, so that no reader of the
// terminal ever sees it cleared and not yet drawn.
void DrawOnTerminal(const std::u16string& caption, const std::u16string& text) {
  if (!DrawsOnTerminal() || text == Display().drawn) return;
  Display().drawn = text;
  winsize size{};
  int width = ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  auto columns = static_cast<std::size_t>(width);
  std::string title = ForTerminal(caption);
  std::string body = ForTerminal(text);
  std::vector<std::string> titleRows;
  WrapLine(" " + title + " ", columns, &titleRows);
  std::vector<std::string> rows;
  bool first = true;  // the first line with text
  for (std::size_t start = 0; start <= body.size();) {
    std::size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    std::string line = body.substr(start, end - start);
    start = end + 1;
    bool repeat = first && line == title;
    first = first && line.empty();
    if (!repeat) WrapLine(line, columns, &rows);
  }
  std::string frame;
  if (Display().drawnRows > 0) frame += "\r\x1b[" + std::to_string(Display().drawnRows) + "A\x1b[J";
  for (const std::string& row : titleRows) frame += "\x1b[7m" + row + "\x1b[0m\n";
  for (const std::string& row : rows) frame += row + "\n";
  std::cout.flush();
  for (std::size_t done = 0; done < frame.size();) {
    ssize_t written = ::write(STDOUT_FILENO, frame.data() + done, frame.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  Display().drawnRows = static_cast<int>(titleRows.size() + rows.size());
}

void Refresh() {
  const SimWindow* main = MainWindow();
  const SimWindow* control = TextControl();
  if (control == nullptr) return;
  if (main != nullptr) DrawOnTerminal(main->caption, control->text);
  WriteWindowFile(control->text);
}

bool Fail(Dword error) {
  SetLastErrorCode(error);
  return false;
}

}  // namespace


void Window::Destroy() {
  if (native_ == 0) return;
  auto found = Display().windows.find(native_);
  if (found != Display().windows.end()) {
    // The last text is kept in sim/window.txt when the window goes.
    Refresh();
    for (auto it = Display().windows.begin(); it != Display().windows.end();) {
      it = (it->second.parent == native_) ? Display().windows.erase(it) : std::next(it);
    }
    Display().windows.erase(native_);
  }
  native_ = 0;
}


void Font::Delete() { native_ = 0; }

// The simulated screen is the device's, 1280 x 800, unless sim/screen.txt
// holds "WIDTH HEIGHT".
int ScreenWidth() {
  int width = 1280;
  int height = 800;
  std::ifstream(sim::SimFile("screen.txt")) >> width >> height;
  return width;
}

int ScreenHeight() {
  int width = 1280;
  int height = 800;
  std::ifstream(sim::SimFile("screen.txt")) >> width >> height;
  return height;
}

bool RegisterProgressWindowClass() {
  Display().classRegistered = true;
  return true;
}

// Window creation fails while sim/window-fails exists, as it does on a
// device without a usable desktop.
Window CreateProgressWindow(const std::u16string& caption, int, int, int width, int height, int) {
  struct stat st;
  if (!Display().classRegistered) {
    Fail(kErrorCannotFindWindowClass);
    return Window();
  }
  if (stat(sim::SimFile("window-fails").c_str(), &st) == 0) {
    Fail(kErrorNotEnoughMemory);
    return Window();
  }
  SimWindow window;
  window.caption = caption;
  window.width = width;
  window.height = height;
  std::intptr_t id = Display().nextWindow++;
  Display().windows[id] = window;
  Refresh();
  return Window(id);
}

bool ClientSize(const Window& window, int* width, int* height) {
  SimWindow* w = Find(window);
  if (w == nullptr) return Fail(kErrorInvalidWindowHandle);
  *width = w->width - 2 * kBorder;
  *height = w->height - 2 * kBorder - kCaption;
  return true;
}

Window CreateTextControl(const Window& parent, int width, int height) {
  if (Find(parent) == nullptr) {
    Fail(kErrorInvalidWindowHandle);
    return Window();
  }
  SimWindow control;
  control.edit = true;
  control.parent = parent.native();
  control.width = width;
  control.height = height;
  std::intptr_t id = Display().nextWindow++;
  Display().windows[id] = control;
  return Window(id);
}

Font CreateTextFont() { return Font(1); }

void SetControlFont(const Window&, const Font&) {}

void ReplaceSelection(const Window& control, const std::u16string& text) {
  SimWindow* edit = FindEdit(control);
  if (edit == nullptr) return;
  edit->text.replace(edit->selectionStart, edit->selectionEnd - edit->selectionStart, text);
  edit->selectionStart = edit->selectionEnd = edit->selectionStart + static_cast<std::uint32_t>(text.size());
}

void ReplaceSelectionNarrow(const Window& control, const std::string& text) {
  ReplaceSelection(control, NarrowToWide(text));
}

void GetSelection(const Window& control, std::uint32_t* start, std::uint32_t* end) {
  SimWindow* edit = FindEdit(control);
  *start = edit != nullptr ? edit->selectionStart : 0;
  *end = edit != nullptr ? edit->selectionEnd : 0;
}

// EM_SETSEL: positions past the end mean the end (as -1 does); the
// selection is kept in order.
void SetSelection(const Window& control, std::uint32_t start, std::uint32_t end) {
  SimWindow* edit = FindEdit(control);
  if (edit == nullptr) return;
  std::uint32_t length = static_cast<std::uint32_t>(edit->text.size());
  if (start > length) start = length;
  if (end > length) end = length;
  edit->selectionStart = start < end ? start : end;
  edit->selectionEnd = start < end ? end : start;
}

std::u16string WindowText(const Window& window) {
  SimWindow* w = Find(window);
  if (w == nullptr) return std::u16string();
  return w->edit ? w->text : w->caption;
}

void PumpWindowMessages() { Refresh(); }

// Prints the box; waits for Enter at a terminal. Each box is appended to
// sim/messagebox.log as "CAPTION<TAB>TEXT".
void ShowMessageBox(const std::u16string& text, const std::u16string& caption) {
  // What follows is drawn below the box, not over it.
  Display().drawnRows = 0;
  std::cout << "\n[" << WideToUtf8(caption) << "]\n" << WideToUtf8(text) << "\n" << std::flush;
  std::ofstream log(sim::SimFile("messagebox.log"), std::ios::binary | std::ios::app);
  log << WideToUtf8(caption) << '\t' << WideToUtf8(text) << '\n';
  log.close();
  if (isatty(STDIN_FILENO)) {
    std::cout << "[OK: press Enter]" << std::flush;
    std::string line;
    std::getline(std::cin, line);
  }
}

}  // namespace platform
