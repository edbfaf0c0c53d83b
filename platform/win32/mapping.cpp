#include "platform/mapping.h"

#include <windows.h>

#include "platform/fault.h"

namespace platform {
namespace {

HANDLE NativeFile(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }
HANDLE NativeMapping(const Mapping& mapping) { return reinterpret_cast<HANDLE>(mapping.native()); }

void Fail(Dword error) { ::SetLastError(error); }

}  // namespace

void Mapping::Close() {
  if (native_ == 0) return;
  DWORD saved = ::GetLastError();
  ::CloseHandle(NativeMapping(*this));
  native_ = 0;
  ::SetLastError(saved);
}

Mapping CreateMapping(File& file, Dword protect, std::uint64_t maximumSize) {
  if (FaultHit(FaultOp::CreateMapping)) return Mapping();
  std::uint64_t size = maximumSize;
  if (size == 0) {
    LARGE_INTEGER fileSize;
    if (!::GetFileSizeEx(NativeFile(file), &fileSize)) return Mapping();
    size = static_cast<std::uint64_t>(fileSize.QuadPart);
  }
  HANDLE handle = ::CreateFileMappingW(NativeFile(file), nullptr, protect, static_cast<DWORD>(maximumSize >> 32),
                                       static_cast<DWORD>(maximumSize), nullptr);
  if (handle == nullptr) return Mapping();
  return Mapping(reinterpret_cast<std::intptr_t>(handle), protect, size);
}

void View::Unmap() {
  if (base_ == nullptr) return;
  DWORD saved = ::GetLastError();
  ::UnmapViewOfFile(base_);
  base_ = nullptr;
  length_ = 0;
  ::SetLastError(saved);
}

View MapView(const Mapping& mapping, Dword access, std::uint64_t offset, std::uint64_t length) {
  if (FaultHit(FaultOp::MapView)) return View();
  if (!mapping.IsValid()) {
    Fail(kErrorInvalidHandle);
    return View();
  }
  if (length > SIZE_MAX) {
    Fail(kErrorNotEnoughMemory);
    return View();
  }
  void* base = ::MapViewOfFile(NativeMapping(mapping), access, static_cast<DWORD>(offset >> 32),
                               static_cast<DWORD>(offset), static_cast<SIZE_T>(length));
  if (base == nullptr) return View();
  std::uint64_t mapped = length != 0 ? length : mapping.size() - offset;
  return View(base, static_cast<std::size_t>(mapped));
}

Dword AllocationGranularity() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwAllocationGranularity;
}

void LockedBuffer::Free() {
  if (data_ == nullptr) return;
  DWORD saved = ::GetLastError();
  if (locked_) ::VirtualUnlock(data_, size_);
  ::VirtualFree(data_, 0, MEM_RELEASE);
  data_ = nullptr;
  size_ = 0;
  locked_ = false;
  ::SetLastError(saved);
}

LockedBuffer AllocateLockedBuffer(std::size_t size) {
  if (FaultHit(FaultOp::AllocateLockedBuffer)) return LockedBuffer();
  if (size == 0) {
    Fail(kErrorInvalidParameter);
    return LockedBuffer();
  }
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  std::size_t page = info.dwPageSize;
  std::size_t rounded = (size + page - 1) / page * page;
  void* data = ::VirtualAlloc(nullptr, rounded, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (data == nullptr) return LockedBuffer();
  // Unbuffered reads need the alignment; a refused lock (the working-set
  // quota) leaves pages that may be paged out, which costs time only.
  if (FaultHit(FaultOp::LockMemory) || !::VirtualLock(data, rounded)) return LockedBuffer(data, rounded, false);
  ::SetLastError(ERROR_SUCCESS);
  return LockedBuffer(data, rounded, true);
}

}  // namespace platform
