#pragma once
// The terminal a tool runs in, for progress that is redrawn in place and
// for a password typed without echo.
#include <string>

namespace platform {

// Whether standard error is a terminal (a console on Windows) rather than a
// file or a pipe.
bool StandardErrorIsTerminal();

// Writes `text` to standard output. A Windows program without a console of
// its own (the update tool) writes to the console it was started from, or
// to wherever its output was redirected; without either the text is lost.
void WriteStandardOutput(const std::string& text);

// One line of standard input, without its line end. When standard input is
// a terminal, `prompt` goes to standard error first and the typed text is
// not echoed. False at the end of the input.
bool ReadSecretLine(const char* prompt, std::string* line);

}  // namespace platform
