#pragma once
// Programs started through the shell, and waits for their end.
#include <cstdint>
#include <string>
#include <utility>

#include "platform/errors.h"

namespace platform {

// A process; invalid as null. Move-only, its handle closed on destruction.
class Process {
 public:
  Process() = default;
  explicit Process(std::intptr_t native) : native_(native) {}
  ~Process() { Close(); }
  Process(Process&& other) noexcept : native_(other.native_) { other.native_ = 0; }
  Process& operator=(Process&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = std::exchange(other.native_, 0);
    }
    return *this;
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool IsValid() const { return native_ != 0; }
  void Close();
  std::intptr_t native() const { return native_; }

 private:
  std::intptr_t native_ = 0;
};

// ShellExecuteEx with SEE_MASK_NOCLOSEPROCESS, no owner window, no verb and
// SW_SHOW: starts `file` (looked up as the shell looks it up when it names no
// folder) with the parameter text, in `directory`. Invalid when the shell
// started nothing or returned no process.
Process StartWithShell(const std::string& file, const std::string& parameters, const std::string& directory);

// WaitForSingleObject: true when the process has ended, waiting at most
// `milliseconds` (real time, also on the simulator).
bool WaitForProcess(const Process& process, Dword milliseconds);

}  // namespace platform
