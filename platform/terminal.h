#pragma once
// The terminal a tool runs in, for progress that is redrawn in place.

namespace platform {

// Whether standard error is a terminal (a console on Windows) rather than a
// file or a pipe.
bool StandardErrorIsTerminal();

}  // namespace platform
