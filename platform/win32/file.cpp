#include "platform/file.h"

#include <windows.h>

#include "platform/fault.h"

namespace platform {
namespace {

HANDLE Native(const File& file) { return reinterpret_cast<HANDLE>(file.native()); }

bool Fail(Dword error) {
  ::SetLastError(error);
  return false;
}

}  // namespace


void File::Close() {
  if (native_ == -1) return;
  DWORD saved = ::GetLastError();
  ::CloseHandle(Native(*this));
  native_ = -1;
  ::SetLastError(saved);
}

File OpenFile(const std::string& path, Dword access, Dword share, Disposition disposition,
              Dword flagsAndAttributes) {
  if (FaultHit(FaultOp::OpenFile)) return File();
  HANDLE handle = ::CreateFileA(path.c_str(), access, share, nullptr, static_cast<DWORD>(disposition),
                                flagsAndAttributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return File();
  DWORD error = ::GetLastError();
  File file(reinterpret_cast<std::intptr_t>(handle), access, flagsAndAttributes & 0xFFFF0000);
  ::SetLastError(error);
  return file;
}

bool ReadFromFile(File& file, void* buffer, Dword size, Dword* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (FaultHit(FaultOp::ReadFile)) return false;
  DWORD done = 0;
  BOOL ok = ::ReadFile(Native(file), buffer, size, &done, nullptr);
  if (bytesRead != nullptr) *bytesRead = done;
  return ok != FALSE;
}

bool WriteToFile(File& file, const void* data, Dword size, Dword* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (FaultHit(FaultOp::WriteFile)) return false;
  DWORD done = 0;
  BOOL ok = ::WriteFile(Native(file), data, size, &done, nullptr);
  if (bytesWritten != nullptr) *bytesWritten = done;
  return ok != FALSE;
}

// Appenders take turns through an exclusive lock on one byte far past any
// data, so that finding the end and writing there is one step for each of
// them: NTFS makes a write at the end-of-file offset one step by itself, but
// Wine finds the end and then writes.
bool AppendToFile(File& file, const void* data, Dword size, Dword* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (FaultHit(FaultOp::WriteFile)) return false;
  OVERLAPPED turn = {};
  turn.OffsetHigh = 0x40000000;
  if (!::LockFileEx(Native(file), LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &turn)) return false;
  OVERLAPPED end = {};
  end.Offset = 0xFFFFFFFF;
  end.OffsetHigh = 0xFFFFFFFF;
  LARGE_INTEGER start;
  bool sized = ::GetFileSizeEx(Native(file), &start) != FALSE;
  DWORD done = 0;
  BOOL ok = ::WriteFile(Native(file), data, size, &done, &end);
  DWORD error = ::GetLastError();
  // A write cut short (a full disk) is taken back, so that the next text
  // does not follow a torn one.
  if (!ok && done > 0 && sized) {
    FILE_END_OF_FILE_INFO length = {};
    length.EndOfFile = start;
    ::SetFileInformationByHandle(Native(file), FileEndOfFileInfo, &length, sizeof(length));
    done = 0;
  }
  ::UnlockFileEx(Native(file), 0, 1, 0, &turn);
  ::SetLastError(error);
  if (bytesWritten != nullptr) *bytesWritten = done;
  return ok != FALSE;
}

bool SeekFile(File& file, std::int64_t distance, SeekFrom from, std::uint64_t* newPosition) {
  if (FaultHit(FaultOp::SeekFile)) return false;
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER result;
  if (!::SetFilePointerEx(Native(file), move, &result, static_cast<DWORD>(from))) return false;
  if (newPosition != nullptr) *newPosition = static_cast<std::uint64_t>(result.QuadPart);
  return true;
}

bool FileSize(File& file, std::uint64_t* size) {
  if (FaultHit(FaultOp::FileSize)) return false;
  LARGE_INTEGER value;
  if (!::GetFileSizeEx(Native(file), &value)) return false;
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool SetFileEnd(File& file) {
  if (FaultHit(FaultOp::SetFileEnd)) return false;
  return ::SetEndOfFile(Native(file)) != FALSE;
}

Dword FileAttributes(const std::string& path) {
  if (FaultHit(FaultOp::FileAttributes)) return kInvalidAttributes;
  return ::GetFileAttributesA(path.c_str());
}

bool SetAttributes(const std::string& path, Dword attributes) {
  if (FaultHit(FaultOp::SetAttributes)) return false;
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool RemoveFile(const std::string& path) {
  if (FaultHit(FaultOp::RemoveFile)) return false;
  return ::DeleteFileA(path.c_str()) != FALSE;
}

bool MakeFolder(const std::string& path) {
  if (FaultHit(FaultOp::MakeFolder)) return false;
  return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveFolder(const std::string& path) {
  if (FaultHit(FaultOp::RemoveFolder)) return false;
  return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

bool ListFolder(const std::string& pattern, std::vector<FolderEntry>* entries) {
  entries->clear();
  if (FaultHit(FaultOp::ListFolder)) return false;
  WIN32_FIND_DATAA data;
  HANDLE find = ::FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    FolderEntry entry;
    entry.name = name;
    entry.attributes = data.dwFileAttributes;
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries->push_back(entry);
  } while (::FindNextFileA(find, &data));
  DWORD error = ::GetLastError();
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return Fail(error);
  if (entries->empty()) return Fail(kErrorFileNotFound);
  return true;
}

void UseHostPaths() {}

bool FullPath(const std::string& path, std::string* fullPath) {
  if (FaultHit(FaultOp::FullPath)) return false;
  DWORD needed = ::GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::string buffer(needed, '\0');
  DWORD length = ::GetFullPathNameA(path.c_str(), needed, buffer.data(), nullptr);
  if (length == 0 || length >= needed) return Fail(length == 0 ? ::GetLastError() : kErrorInsufficientBuffer);
  buffer.resize(length);
  *fullPath = buffer;
  return true;
}

bool FlushFile(File& file) {
  if (FaultHit(FaultOp::FlushFile)) return false;
  return ::FlushFileBuffers(reinterpret_cast<HANDLE>(file.native())) != FALSE;
}

}  // namespace platform
