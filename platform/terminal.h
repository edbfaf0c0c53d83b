#pragma once
// The terminal a tool runs in, for progress that is redrawn in place.
#include <string>

namespace platform {

// Whether standard error is a terminal (a console on Windows) rather than a
// file or a pipe.
bool StandardErrorIsTerminal();

// Writes `text` to standard output. A Windows program without a console of
// its own (the update tool) writes to the console it was started from, or
// to wherever its output was redirected; without either the text is lost.
void WriteStandardOutput(const std::string& text);

}  // namespace platform
