#pragma once
// Files and folders, with the device's (Windows') semantics: share modes
// between every opener, attributes, case-insensitive names, Windows error
// codes. Paths are narrow text in the system code page.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/errors.h"

namespace platform {

// Access rights (CreateFile's dwDesiredAccess).
constexpr Dword kGenericRead = 0x80000000;
constexpr Dword kGenericWrite = 0x40000000;

// Share modes.
constexpr Dword kShareNone = 0;
constexpr Dword kShareRead = 0x1;
constexpr Dword kShareWrite = 0x2;
constexpr Dword kShareDelete = 0x4;

// Dispositions, numbered as CreateFile's.
enum class Disposition : Dword {
  CreateNew = 1,
  CreateAlways = 2,
  OpenExisting = 3,
  OpenAlways = 4,
  TruncateExisting = 5,
};

// File attributes.
constexpr Dword kAttributeReadOnly = 0x1;
constexpr Dword kAttributeHidden = 0x2;
constexpr Dword kAttributeSystem = 0x4;
constexpr Dword kAttributeDirectory = 0x10;
constexpr Dword kAttributeArchive = 0x20;
constexpr Dword kAttributeNormal = 0x80;
constexpr Dword kAttributeTemporary = 0x100;
// A symbolic link (or other reparse point): the attributes are the link's own.
constexpr Dword kAttributeReparsePoint = 0x400;
constexpr Dword kInvalidAttributes = 0xFFFFFFFF;

// Flags that may be or'ed into the attributes of an open.
constexpr Dword kFlagWriteThrough = 0x80000000;
constexpr Dword kFlagNoBuffering = 0x20000000;
constexpr Dword kFlagRandomAccess = 0x10000000;
constexpr Dword kFlagSequentialScan = 0x08000000;

enum class SeekFrom : Dword { Begin = 0, Current = 1, End = 2 };

// An open file; invalid as INVALID_HANDLE_VALUE (-1). Move-only, closed on
// destruction. `native` is the backend's handle (a HANDLE or a descriptor).
class File {
 public:
  File() = default;
  File(std::intptr_t native, Dword access, Dword flags)
      : native_(native), access_(access), flags_(flags) {}
  ~File() { Close(); }
  File(File&& other) noexcept { *this = std::move(other); }
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      Close();
      native_ = std::exchange(other.native_, -1);
      access_ = other.access_;
      flags_ = other.flags_;
      position_ = other.position_;
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool IsValid() const { return native_ != -1; }
  // Closes now; the last error is preserved. Closing an invalid file does nothing.
  void Close();

  std::intptr_t native() const { return native_; }
  Dword access() const { return access_; }
  Dword flags() const { return flags_; }
  // What the backend keeps of the open beside the handle: the simulator its
  // file position and what it knows of the file (Windows keeps both in the handle).
  std::uint64_t position() const { return position_; }
  void Keep(Dword flags, std::uint64_t position) {
    flags_ = flags;
    position_ = position;
  }

 private:
  std::intptr_t native_ = -1;
  Dword access_ = 0;
  Dword flags_ = 0;
  std::uint64_t position_ = 0;
};

// CreateFile: `flagsAndAttributes` holds attributes for a new file and kFlag* values.
// With CreateAlways and OpenAlways the last error is kErrorAlreadyExists when
// the file was there, 0 otherwise.
File OpenFile(const std::string& path, Dword access, Dword share, Disposition disposition,
              Dword flagsAndAttributes);

bool ReadFromFile(File& file, void* buffer, Dword size, Dword* bytesRead);
bool WriteToFile(File& file, const void* data, Dword size, Dword* bytesWritten);
// WriteFile at the end-of-file offset (0xFFFFFFFF:0xFFFFFFFF): the bytes land
// behind everything written so far, also while other processes append to the
// same file at the same moment, whole or not at all (a write the disk has no
// room for leaves no part of itself).
bool AppendToFile(File& file, const void* data, Dword size, Dword* bytesWritten);
// Moves the file position; `newPosition` may be null.
bool SeekFile(File& file, std::int64_t distance, SeekFrom from, std::uint64_t* newPosition);
bool FileSize(File& file, std::uint64_t* size);
// Sets the end of the file at the current position.
bool SetFileEnd(File& file);

// GetFileAttributes; kInvalidAttributes on failure.
Dword FileAttributes(const std::string& path);
bool SetAttributes(const std::string& path, Dword attributes);

// DeleteFile: fails with kErrorAccessDenied on a read-only file or a folder,
// kErrorSharingViolation while an open does not share delete.
bool RemoveFile(const std::string& path);
// CreateDirectory: the parent must exist (kErrorPathNotFound otherwise);
// kErrorAlreadyExists when the name is taken.
bool MakeFolder(const std::string& path);
// RemoveDirectory: the folder must be empty (kErrorDirNotEmpty).
bool RemoveFolder(const std::string& path);

struct FolderEntry {
  std::string name;  // the leaf name, in the case it is stored
  Dword attributes = 0;
  std::uint64_t size = 0;
};

// FindFirstFile/FindNextFile over a pattern such as "C:\Data\*.txt" (wildcards
// * and ? in the last component, case-insensitive; "*.*" matches every name).
// The entries "." and ".." are left out, on both backends. An empty result
// with kErrorFileNotFound means no match, kErrorPathNotFound a missing folder.
bool ListFolder(const std::string& pattern, std::vector<FolderEntry>* entries);

// For a tool that works on the host's files (zampack): a path that begins
// with "/" names the host's file, wherever the tool's working directory is.
// A program of the device (the update tool) never calls it: there such a path
// starts at the current drive's root. On Windows every path already names
// the machine's own files, so nothing changes there.
void UseHostPaths();

// GetFullPathName: the absolute form of `path` against the working directory,
// with "." and ".." resolved by text.
bool FullPath(const std::string& path, std::string* fullPath);

// FlushFileBuffers: what was written through `file` is on the disk when this
// returns true.
bool FlushFile(File& file);

}  // namespace platform
