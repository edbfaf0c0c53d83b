#pragma once
// Ownership of one native handle: its value, the call that closes it and the
// value that means "none". Each handle kind is an alias of this template
// (as WIL's unique_any); the close call preserves the last error.
#include <cstdint>
#include <utility>

namespace platform {

template <void (*CloseNative)(std::intptr_t), std::intptr_t kInvalid>
class Handle {
 public:
  Handle() = default;
  explicit Handle(std::intptr_t native) : native_(native) {}
  ~Handle() { Close(); }
  Handle(Handle&& other) noexcept : native_(std::exchange(other.native_, kInvalid)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = std::exchange(other.native_, kInvalid);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  bool IsValid() const { return native_ != kInvalid; }
  std::intptr_t native() const { return native_; }
  // Closes now; closing an invalid handle does nothing.
  void Close() {
    if (native_ != kInvalid) CloseNative(std::exchange(native_, kInvalid));
  }

 private:
  std::intptr_t native_ = kInvalid;
};

}  // namespace platform
