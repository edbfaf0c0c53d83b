#include "platform/terminal.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace platform {

bool StandardErrorIsTerminal() { return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR; }

void WriteStandardOutput(const std::string& text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  // A program of the Windows subsystem started from a console has no
  // standard output unless it was redirected: it borrows the parent's console.
  if ((out == nullptr || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = GetStdHandle(STD_OUTPUT_HANDLE);
  }
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;
  for (std::size_t done = 0; done < text.size();) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1 << 20));
    if (!WriteFile(out, text.data() + done, chunk, &written, nullptr) || written == 0) return;
    done += written;
  }
}

bool ReadSecretLine(const char* prompt, std::string* line) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  bool console = GetFileType(input) == FILE_TYPE_CHAR && GetConsoleMode(input, &saved) != 0;
  if (console) {
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  }
  bool read = static_cast<bool>(std::getline(std::cin, *line));
  if (console) {
    SetConsoleMode(input, saved);
    std::fputs("\n", stderr);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return read;
}

}  // namespace platform
