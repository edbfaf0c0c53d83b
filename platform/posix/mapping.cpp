#include "platform/mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/fault.h"
#include "platform/posix/open_file.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

using sim::Fail;
using sim::FailFromErrno;

std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

}  // namespace

void Mapping::Close() {
  if (native_ == 0) return;
  Dword saved = LastError();
  sim::ReleaseDescriptor(static_cast<int>(native_));
  native_ = 0;
  SetLastErrorCode(saved);
}

// The mapping holds its file's descriptor as long as it lives, so the file's
// share locks stay in force, as the device keeps a mapped file open.
Mapping CreateMapping(File& file, Dword protect, std::uint64_t maximumSize) {
  if (FaultHit(FaultOp::CreateMapping)) return Mapping();
  if (!file.IsValid()) {
    Fail(kErrorInvalidHandle);
    return Mapping();
  }
  if (protect != kPageReadOnly && protect != kPageReadWrite) {
    Fail(kErrorInvalidParameter);
    return Mapping();
  }
  bool write = protect == kPageReadWrite;
  if (!(file.access() & kGenericRead) || (write && !(file.access() & kGenericWrite))) {
    Fail(kErrorAccessDenied);
    return Mapping();
  }
  int fd = static_cast<int>(file.native());
  std::uint64_t fileSize = 0;
  if (!(file.flags() & sim::kKnownEmpty)) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
      FailFromErrno();
      return Mapping();
    }
    fileSize = static_cast<std::uint64_t>(st.st_size);
  }
  std::uint64_t size = maximumSize == 0 ? fileSize : maximumSize;
  if (size == 0) {
    Fail(kErrorFileInvalid);
    return Mapping();
  }
  if (size > fileSize) {
    if (!write) {
      Fail(kErrorNotEnoughMemory);
      return Mapping();
    }
    // The device's file system allocates the clusters when the mapping sets
    // the length, and fails the mapping when the disk is full; a sparse
    // length would only fail later, writing through the view.
    int error = posix_fallocate(fd, 0, static_cast<off_t>(size));
    if (error != 0) {
      // Back to the old length, whatever part of the blocks the allocation got.
      while (ftruncate(fd, static_cast<off_t>(fileSize)) != 0 && errno == EINTR) {
      }
      Fail(sim::ErrorFromErrno(error));
      return Mapping();
    }
    file.Keep(file.flags() & ~sim::kKnownEmpty, file.position());
  }
  // Descriptor 0 (standard input was closed) would read as no mapping: the
  // mapping then holds a copy of it of its own.
  int own = fd != 0 ? fd : fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (own < 0) {
    FailFromErrno();
    return Mapping();
  }
  if (own == fd) sim::ShareDescriptor(fd);
  SetLastErrorCode(kErrorSuccess);
  return Mapping(own, protect, size);
}

void View::Unmap() {
  if (base_ == nullptr) return;
  Dword saved = LastError();
  munmap(base_, length_);
  base_ = nullptr;
  length_ = 0;
  SetLastErrorCode(saved);
}

// Views never reach past the mapping's size, which was within the file when
// the mapping was made, so no access through a view can fault.
View MapView(const Mapping& mapping, Dword access, std::uint64_t offset, std::uint64_t length) {
  if (FaultHit(FaultOp::MapView)) return View();
  if (!mapping.IsValid()) {
    Fail(kErrorInvalidHandle);
    return View();
  }
  if (offset % AllocationGranularity() != 0) {
    Fail(kErrorMappedAlignment);
    return View();
  }
  bool write = (access & kFileMapWrite) != 0;
  if ((write && mapping.protect() != kPageReadWrite) || offset >= mapping.size()) {
    Fail(kErrorAccessDenied);
    return View();
  }
  std::uint64_t available = mapping.size() - offset;
  if (length == 0) length = available;
  if (length > available) {
    Fail(kErrorAccessDenied);
    return View();
  }
  if (length > SIZE_MAX) {
    Fail(kErrorNotEnoughMemory);
    return View();
  }
  int protection = PROT_READ | (write ? PROT_WRITE : 0);
  void* base = mmap(nullptr, static_cast<std::size_t>(length), protection, MAP_SHARED,
                    static_cast<int>(mapping.native()), static_cast<off_t>(offset));
  if (base == MAP_FAILED) {
    Fail(errno == ENOMEM ? kErrorNotEnoughMemory : sim::ErrorFromErrno(errno));
    return View();
  }
  return View(base, static_cast<std::size_t>(length));
}

Dword AllocationGranularity() { return static_cast<Dword>(PageSize()); }

void LockedBuffer::Free() {
  if (data_ == nullptr) return;
  Dword saved = LastError();
  if (locked_) munlock(data_, size_);
  munmap(data_, size_);
  data_ = nullptr;
  size_ = 0;
  locked_ = false;
  SetLastErrorCode(saved);
}

LockedBuffer AllocateLockedBuffer(std::size_t size) {
  if (FaultHit(FaultOp::AllocateLockedBuffer)) return LockedBuffer();
  if (size == 0) {
    Fail(kErrorInvalidParameter);
    return LockedBuffer();
  }
  std::size_t page = PageSize();
  std::size_t rounded = (size + page - 1) / page * page;
  void* data = mmap(nullptr, rounded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (data == MAP_FAILED) {
    Fail(kErrorNotEnoughMemory);
    return LockedBuffer();
  }
  // A host whose locked-memory limit refuses the lock still gets the
  // buffer: the simulator's unbuffered reads only need its alignment.
  if (FaultHit(FaultOp::LockMemory)) return LockedBuffer(data, rounded, false);
  if (mlock(data, rounded) != 0) {
    Fail(kErrorNotEnoughMemory);
    return LockedBuffer(data, rounded, false);
  }
  SetLastErrorCode(kErrorSuccess);
  return LockedBuffer(data, rounded, true);
}

}  // namespace platform
