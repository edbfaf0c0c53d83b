#pragma once
// Memory-mapped files and page-locked buffers, with the device's (Windows')
// semantics: a mapping of a file with a maximum size, views at positions
// aligned to the allocation granularity, and locked pages for unbuffered I/O.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "platform/errors.h"
#include "platform/file.h"

namespace platform {

// Mapping protections (CreateFileMapping's flProtect).
constexpr Dword kPageReadOnly = 0x02;
constexpr Dword kPageReadWrite = 0x04;

// View access (MapViewOfFile's dwDesiredAccess).
constexpr Dword kFileMapWrite = 0x0002;
constexpr Dword kFileMapRead = 0x0004;

constexpr Dword kErrorFileInvalid = 1006;
constexpr Dword kErrorMappedAlignment = 1132;

// A file mapping; invalid as null. Move-only, closed on destruction. It
// stays usable after the file handle it was made from is closed.
class Mapping {
 public:
  Mapping() = default;
  Mapping(std::intptr_t native, Dword protect, std::uint64_t size)
      : native_(native), protect_(protect), size_(size) {}
  ~Mapping() { Close(); }
  Mapping(Mapping&& other) noexcept { *this = std::move(other); }
  Mapping& operator=(Mapping&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = std::exchange(other.native_, 0);
      protect_ = other.protect_;
      size_ = other.size_;
    }
    return *this;
  }
  Mapping(const Mapping&) = delete;
  Mapping& operator=(const Mapping&) = delete;

  bool IsValid() const { return native_ != 0; }
  // Closes now; the last error is preserved. Views already mapped stay valid.
  void Close();

  std::intptr_t native() const { return native_; }
  Dword protect() const { return protect_; }
  // The maximum size: every view lies within it.
  std::uint64_t size() const { return size_; }

 private:
  std::intptr_t native_ = 0;
  Dword protect_ = 0;
  std::uint64_t size_ = 0;
};

// CreateFileMapping of an open file. `maximumSize` 0 means the file's size;
// a file of length 0 then fails with kErrorFileInvalid. A read-write mapping
// larger than the file grows the file to `maximumSize`; a read-only one
// larger than the file fails (kErrorNotEnoughMemory). The protection must fit
// the file's access (kErrorAccessDenied otherwise).
Mapping CreateMapping(File& file, Dword protect, std::uint64_t maximumSize);

// One mapped view; empty when nothing is mapped. Move-only, unmapped on
// destruction and when another view is assigned to it.
class View {
 public:
  View() = default;
  View(void* base, std::size_t length) : base_(base), length_(length) {}
  ~View() { Unmap(); }
  View(View&& other) noexcept { *this = std::move(other); }
  View& operator=(View&& other) noexcept {
    if (this != &other) {
      Unmap();
      base_ = std::exchange(other.base_, nullptr);
      length_ = std::exchange(other.length_, 0);
    }
    return *this;
  }
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  bool IsMapped() const { return base_ != nullptr; }
  // Unmaps now; the last error is preserved.
  void Unmap();

  std::uint8_t* base() const { return static_cast<std::uint8_t*>(base_); }
  std::size_t length() const { return length_; }

 private:
  void* base_ = nullptr;
  std::size_t length_ = 0;
};

// MapViewOfFile: `length` bytes of the mapping from `offset`, which must be a
// multiple of AllocationGranularity() (kErrorMappedAlignment otherwise).
// Length 0 maps from `offset` to the end of the mapping. A view that would
// reach past the mapping's size, or write access to a read-only mapping,
// fails with kErrorAccessDenied.
View MapView(const Mapping& mapping, Dword access, std::uint64_t offset, std::uint64_t length);

// The granularity of view positions: 65536 on Windows, the page size on the simulator.
Dword AllocationGranularity();

// Committed read-write pages, page-aligned and locked in memory, as
// unbuffered reads need. Move-only, unlocked and freed on destruction.
class LockedBuffer {
 public:
  LockedBuffer() = default;
  LockedBuffer(void* data, std::size_t size, bool locked) : data_(data), size_(size), locked_(locked) {}
  ~LockedBuffer() { Free(); }
  LockedBuffer(LockedBuffer&& other) noexcept { *this = std::move(other); }
  LockedBuffer& operator=(LockedBuffer&& other) noexcept {
    if (this != &other) {
      Free();
      data_ = std::exchange(other.data_, nullptr);
      size_ = std::exchange(other.size_, 0);
      locked_ = std::exchange(other.locked_, false);
    }
    return *this;
  }
  LockedBuffer(const LockedBuffer&) = delete;
  LockedBuffer& operator=(const LockedBuffer&) = delete;

  bool IsValid() const { return data_ != nullptr; }
  void Free();

  std::uint8_t* data() const { return static_cast<std::uint8_t*>(data_); }
  std::size_t size() const { return size_; }
  // False when the system refused the lock (a working-set quota, a host's
  // locked-memory limit); the buffer is still page-aligned and usable.
  bool locked() const { return locked_; }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
  bool locked_ = false;
};

// VirtualAlloc (committed, read-write) plus VirtualLock of `size` bytes,
// rounded up to whole pages; empty when the pages cannot be had. When only
// the lock fails, the buffer comes back unlocked with the lock's error as
// the last error (kErrorSuccess after a lock).
LockedBuffer AllocateLockedBuffer(std::size_t size);

}  // namespace platform
