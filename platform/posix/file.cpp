#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <unordered_map>

#include "platform/fault.h"
#include "platform/posix/open_file.h"
#include "platform/posix/share_lock.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

using sim::Fail;
using sim::FailFromErrno;
using sim::kDropCache;
using sim::kKnownEmpty;
using sim::kPositionUnknown;

constexpr const char* kAttributeName = "user.orvanta.attributes";
// The attributes a file keeps beyond the read-only bit.
constexpr Dword kStoredAttributes = kAttributeReadOnly | kAttributeHidden | kAttributeSystem |
                                    kAttributeArchive | kAttributeTemporary | 0x1000 | 0x2000;

bool ReadStoredAttributes(const std::string& host, Dword* value) {
  char text[16] = {};
  ssize_t n = getxattr(host.c_str(), kAttributeName, text, sizeof(text) - 1);
  if (n <= 0) return false;
  *value = static_cast<Dword>(std::strtoul(text, nullptr, 16));
  return true;
}

// `flags`: 0, or XATTR_CREATE to write only where no value is stored yet.
bool WriteStoredAttributes(const std::string& host, Dword value, int flags = 0) {
  char text[16];
  std::snprintf(text, sizeof(text), "%08X", static_cast<unsigned>(value));
  // A file system without user attributes keeps the read-only bit alone.
  return setxattr(host.c_str(), kAttributeName, text, 8, flags) == 0;
}

Dword AttributesOf(const std::string& host, const struct stat& st) {
  Dword stored = 0;
  bool haveStored = ReadStoredAttributes(host, &stored);
  Dword value = 0;
  if (S_ISDIR(st.st_mode)) {
    value = kAttributeDirectory | (haveStored ? (stored & kStoredAttributes) : 0);
  } else {
    value = haveStored ? (stored & kStoredAttributes & ~kAttributeReadOnly) : kAttributeArchive;
    if (!(st.st_mode & S_IWUSR)) value |= kAttributeReadOnly;
  }
  return value == 0 ? kAttributeNormal : value;
}

bool IsReadOnlyFile(const struct stat& st) { return !S_ISDIR(st.st_mode) && !(st.st_mode & S_IWUSR); }

mode_t WithReadOnly(mode_t mode, Dword value) {
  return (value & kAttributeReadOnly) ? (mode & ~S_IWUSR) : (mode | S_IWUSR);
}

// The process's file-creation mask, read once (reading it means setting it).
mode_t CreationMask() {
  static const mode_t mask = [] {
    mode_t value = umask(022);
    umask(value);
    return value;
  }();
  return mask;
}

// Gives a new or recreated file its attributes, as CreateFile does. A file
// this open created has no stored value, which reads as archive, and the
// mode the creation mask left it; only what differs from that is written.
void ApplyCreateAttributes(int fd, const std::string& host, Dword attributes, bool created) {
  Dword value = (attributes & kStoredAttributes) | kAttributeArchive;
  if (!created || value != kAttributeArchive) WriteStoredAttributes(host, value);
  if (created) {
    mode_t mode = 0666 & ~CreationMask();
    if (WithReadOnly(mode, value) != mode) fchmod(fd, WithReadOnly(mode, value));
    return;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) return;
  mode_t mode = st.st_mode & 07777;
  if (WithReadOnly(mode, value) != mode) fchmod(fd, WithReadOnly(mode, value));
}

// The error for a path whose lookup found nothing.
bool FailMissing(const sim::HostEntry& entry) {
  return Fail(entry.folderExists ? kErrorFileNotFound : kErrorPathNotFound);
}

// A host symbolic link's own attributes: a link to a folder is a folder.
Dword LinkAttributes(const std::string& host) {
  struct stat target;
  bool folder = stat(host.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
  return kAttributeReparsePoint | (folder ? kAttributeDirectory : kAttributeArchive);
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool MatchWildcard(const char* pattern, const char* name) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*name != '\0') {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || FoldAscii(*pattern) == FoldAscii(*name)) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

bool IsAligned(std::uint64_t value) { return value % 512 == 0; }

// The file position as the File keeps it; asked of the system after an append.
bool PositionOf(File& file, std::uint64_t* position) {
  if (file.flags() & kPositionUnknown) {
    off_t at = lseek(static_cast<int>(file.native()), 0, SEEK_CUR);
    if (at < 0) return false;
    file.Keep(file.flags() & ~kPositionUnknown, static_cast<std::uint64_t>(at));
  }
  *position = file.position();
  return true;
}

struct SharedDescriptors {
  std::mutex lock;
  std::unordered_map<int, int> extraHolders;
};

SharedDescriptors& Shared() {
  static SharedDescriptors shared;
  return shared;
}

}  // namespace

namespace sim {

void ShareDescriptor(int fd) {
  SharedDescriptors& shared = Shared();
  std::lock_guard<std::mutex> hold(shared.lock);
  ++shared.extraHolders[fd];
}

void ReleaseDescriptor(int fd) {
  SharedDescriptors& shared = Shared();
  {
    std::lock_guard<std::mutex> hold(shared.lock);
    auto found = shared.extraHolders.find(fd);
    if (found != shared.extraHolders.end()) {
      if (--found->second == 0) shared.extraHolders.erase(found);
      return;
    }
  }
  ::close(fd);
}

}  // namespace sim

void File::Close() {
  if (native_ == -1) return;
  Dword saved = LastError();
  sim::ReleaseDescriptor(static_cast<int>(native_));
  native_ = -1;
  SetLastErrorCode(saved);
}

File OpenFile(const std::string& path, Dword access, Dword share, Disposition disposition,
              Dword flagsAndAttributes) {
  if (FaultHit(FaultOp::OpenFile)) return File();
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return File();
  const std::string& host = entry.path;
  bool write = (access & kGenericWrite) != 0;
  if (disposition == Disposition::TruncateExisting && !write) {
    Fail(kErrorInvalidParameter);
    return File();
  }
  bool mustExist = disposition == Disposition::OpenExisting || disposition == Disposition::TruncateExisting;
  bool changes = write || disposition != Disposition::OpenExisting;
  if (entry.outside && changes) {
    Fail(kErrorAccessDenied);
    return File();
  }

  // What the lookup found missing is created exclusively, so that a file
  // another process made meanwhile is opened as the existing file it is. An
  // open that only reads an existing file asks the file system nothing
  // beforehand: the open follows a link as CreateFile does, and fails on a
  // folder or a missing file.
  struct stat st = {};
  bool exists = !changes && entry.exists;
  if (entry.exists && changes) {
    struct stat own;
    if (lstat(host.c_str(), &own) == 0) {
      exists = true;
      st = own;
      if (S_ISLNK(own.st_mode)) {
        // CreateFile follows a link; never to write outside the device.
        if (sim::LeadsOutside(host)) {
          Fail(kErrorAccessDenied);
          return File();
        }
        exists = stat(host.c_str(), &st) == 0;
      }
    }
  }
  if (exists && S_ISDIR(st.st_mode)) {
    Fail(kErrorAccessDenied);
    return File();
  }
  if (!exists && mustExist) {
    FailMissing(entry);
    return File();
  }
  if (exists && disposition == Disposition::CreateNew) {
    Fail(kErrorFileExists);
    return File();
  }
  bool truncate = exists && (disposition == Disposition::CreateAlways || disposition == Disposition::TruncateExisting);
  if (exists && IsReadOnlyFile(st) && (write || truncate)) {
    Fail(kErrorAccessDenied);
    return File();
  }
  if (exists && (write || truncate) && sim::IsRunningImage(host)) {
    Fail(kErrorSharingViolation);
    return File();
  }

  int flags = O_CLOEXEC;
  if (!exists) flags |= O_CREAT | O_EXCL;
  bool noBuffering = (flagsAndAttributes & kFlagNoBuffering) != 0;
  Dword fileFlags = 0;
  // Always read-write where the host allows it: the share-mode guard needs a
  // writable descriptor; the handle's own access is enforced on each call.
  int fd = -1;
  for (int mode : {O_RDWR, write ? O_WRONLY : O_RDONLY}) {
    fd = ::open(host.c_str(), flags | mode | (noBuffering ? O_DIRECT : 0), 0666);
    if (fd < 0 && noBuffering && errno == EINVAL) {
      fd = ::open(host.c_str(), flags | mode, 0666);
      fileFlags |= kDropCache;
    }
    if (fd >= 0 || (errno != EACCES && errno != EPERM && errno != ETXTBSY)) break;
  }
  if (fd < 0 && errno == EEXIST && disposition != Disposition::CreateNew) {
    // Made by another process since the lookup: open it as the existing file.
    return OpenFile(path, access, share, disposition, flagsAndAttributes);
  }
  if (fd < 0) {
    if (errno == EEXIST) {
      Fail(kErrorFileExists);
    } else if (errno == ENOENT || (!changes && errno == ENOTDIR)) {
      FailMissing(entry);
    } else {
      FailFromErrno(host);
    }
    return File();
  }
  File file(fd, access, fileFlags | (noBuffering ? kFlagNoBuffering : 0));
  if (!sim::AcquireShare(fd, access, share)) {
    Dword error = LastError();
    file.Close();
    if (!exists) ::unlink(host.c_str());
    Fail(error);
    return File();
  }
  bool emptied = truncate && st.st_size != 0;
  if (emptied && ftruncate(fd, 0) != 0) {
    FailFromErrno(host);
    return File();
  }
  // Once the share check has passed, nobody else may write to a file that
  // denies writing: one this open made or emptied stays empty until it writes.
  if ((!exists || emptied) && !(share & kShareWrite)) file.Keep(file.flags() | kKnownEmpty, 0);
  if (!exists || disposition == Disposition::CreateAlways) {
    ApplyCreateAttributes(fd, host, flagsAndAttributes & 0xFFFF, !exists);
  }
  bool reportsExisting = disposition == Disposition::CreateAlways || disposition == Disposition::OpenAlways;
  SetLastErrorCode(exists && reportsExisting ? kErrorAlreadyExists : kErrorSuccess);
  return file;
}

bool ReadFromFile(File& file, void* buffer, Dword size, Dword* bytesRead) {
  if (bytesRead != nullptr) *bytesRead = 0;
  if (FaultHit(FaultOp::ReadFile)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  if (!(file.access() & kGenericRead)) return Fail(kErrorAccessDenied);
  int fd = static_cast<int>(file.native());
  if (file.flags() & kFlagNoBuffering) {
    std::uint64_t position = 0;
    if (!PositionOf(file, &position)) return FailFromErrno();
    if (!IsAligned(size) || !IsAligned(position) ||
        !IsAligned(reinterpret_cast<std::uintptr_t>(buffer))) {
      return Fail(kErrorInvalidParameter);
    }
    if (file.flags() & kDropCache) posix_fadvise(fd, static_cast<off_t>(position), size, POSIX_FADV_DONTNEED);
  }
  // A file gives less than asked only at its end, so a short read ends the
  // loop there without another call; Linux cuts any read at 2 GiB less a page.
  constexpr Dword kLongestRead = 0x7FFFF000;
  Dword done = 0;
  char* out = static_cast<char*>(buffer);
  while (done < size) {
    Dword ask = size - done;
    ssize_t n = ::read(fd, out + done, ask);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (bytesRead != nullptr) *bytesRead = done;
      file.Keep(file.flags(), file.position() + done);
      return FailFromErrno();
    }
    done += static_cast<Dword>(n);
    if (n == 0 || (static_cast<Dword>(n) < ask && ask <= kLongestRead)) break;
  }
  if (bytesRead != nullptr) *bytesRead = done;
  file.Keep(file.flags(), file.position() + done);
  return true;
}

namespace {

bool WriteAll(int fd, const void* data, Dword size, Dword* bytesWritten) {
  Dword done = 0;
  const char* in = static_cast<const char*>(data);
  while (done < size) {
    ssize_t n = ::write(fd, in + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (bytesWritten != nullptr) *bytesWritten = done;
      return FailFromErrno();
    }
    done += static_cast<Dword>(n);
  }
  if (bytesWritten != nullptr) *bytesWritten = done;
  return true;
}

// Appenders take turns on one lock byte far past any data (below the share
// lock bytes), so that a write cut short (a full disk) can be taken back to
// where it began before the next appender's bytes follow it.
bool TakeAppendTurn(int fd, short type) {
  constexpr off_t kAppendTurn = 0x7FFFFFFFFFFFFE00;
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kAppendTurn;
  fl.l_len = 1;
  while (fcntl(fd, F_OFD_SETLKW, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

bool WriteToFile(File& file, const void* data, Dword size, Dword* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (FaultHit(FaultOp::WriteFile)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  if (!(file.access() & kGenericWrite)) return Fail(kErrorAccessDenied);
  Dword done = 0;
  bool ok = WriteAll(static_cast<int>(file.native()), data, size, &done);
  file.Keep(file.flags() & ~kKnownEmpty, file.position() + done);
  if (bytesWritten != nullptr) *bytesWritten = done;
  return ok;
}

// O_APPEND for this one write: the kernel then places it at the end of the
// file under the inode's lock, so concurrent appenders never overwrite each
// other. The bytes land whole or not at all.
bool AppendToFile(File& file, const void* data, Dword size, Dword* bytesWritten) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (FaultHit(FaultOp::WriteFile)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  if (!(file.access() & kGenericWrite)) return Fail(kErrorAccessDenied);
  int fd = static_cast<int>(file.native());
  int flags = fcntl(fd, F_GETFL);
  if (flags < 0 || fcntl(fd, F_SETFL, flags | O_APPEND) != 0) return FailFromErrno();
  bool turn = TakeAppendTurn(fd, F_WRLCK);
  struct stat st;
  bool sized = turn && fstat(fd, &st) == 0;
  Dword done = 0;
  bool ok = WriteAll(fd, data, size, &done);
  Dword error = LastError();
  if (!ok && done > 0 && sized) {
    while (ftruncate(fd, st.st_size) != 0 && errno == EINTR) {
    }
    done = 0;
  }
  if (turn) TakeAppendTurn(fd, F_UNLCK);
  file.Keep((file.flags() & ~kKnownEmpty) | kPositionUnknown, file.position());
  fcntl(fd, F_SETFL, flags);
  if (bytesWritten != nullptr) *bytesWritten = done;
  SetLastErrorCode(error);
  return ok;
}

bool SeekFile(File& file, std::int64_t distance, SeekFrom from, std::uint64_t* newPosition) {
  if (FaultHit(FaultOp::SeekFile)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  int fd = static_cast<int>(file.native());
  // The base is learned without moving the position, which a failed seek keeps.
  std::uint64_t base = 0;
  if (from == SeekFrom::Current && !PositionOf(file, &base)) return FailFromErrno();
  if (from == SeekFrom::End) {
    struct stat st;
    if (fstat(fd, &st) != 0) return FailFromErrno();
    base = static_cast<std::uint64_t>(st.st_size);
  }
  if (distance < 0 && 0 - static_cast<std::uint64_t>(distance) > base) return Fail(kErrorNegativeSeek);
  off_t result = lseek(fd, static_cast<off_t>(base) + distance, SEEK_SET);
  if (result < 0) return FailFromErrno();
  file.Keep(file.flags() & ~kPositionUnknown, static_cast<std::uint64_t>(result));
  if (newPosition != nullptr) *newPosition = static_cast<std::uint64_t>(result);
  return true;
}

bool FileSize(File& file, std::uint64_t* size) {
  if (FaultHit(FaultOp::FileSize)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  struct stat st;
  if (fstat(static_cast<int>(file.native()), &st) != 0) return FailFromErrno();
  *size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool SetFileEnd(File& file) {
  if (FaultHit(FaultOp::SetFileEnd)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  if (!(file.access() & kGenericWrite)) return Fail(kErrorAccessDenied);
  std::uint64_t position = 0;
  if (!PositionOf(file, &position) || ftruncate(static_cast<int>(file.native()), static_cast<off_t>(position)) != 0) {
    return FailFromErrno();
  }
  file.Keep(file.flags() & ~kKnownEmpty, position);
  return true;
}

Dword FileAttributes(const std::string& path) {
  if (FaultHit(FaultOp::FileAttributes)) return kInvalidAttributes;
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return kInvalidAttributes;
  struct stat st;
  if (!entry.exists || lstat(entry.path.c_str(), &st) != 0) {
    FailMissing(entry);
    return kInvalidAttributes;
  }
  if (S_ISLNK(st.st_mode)) return LinkAttributes(entry.path);
  return AttributesOf(entry.path, st);
}

// The value is written only where it changes something: the stored value,
// then the owner's write bit.
bool SetAttributes(const std::string& path, Dword attributes) {
  if (FaultHit(FaultOp::SetAttributes)) return false;
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return false;
  const std::string& host = entry.path;
  struct stat st;
  if (!entry.exists || lstat(host.c_str(), &st) != 0) return FailMissing(entry);
  // A link's own attributes cannot be kept on the host, and its target's are
  // not the link's to change.
  if (entry.outside || S_ISLNK(st.st_mode)) return Fail(kErrorAccessDenied);
  Dword value = attributes & kStoredAttributes;
  bool file = !S_ISDIR(st.st_mode);
  // Without a stored value a file reads as archive, a folder as nothing more.
  Dword unstored = file ? kAttributeArchive : 0;
  // Any other value changes a file that has none stored yet, such as a file
  // just written: one call then, which fails where a value is stored.
  if (value == unstored || !WriteStoredAttributes(host, value, XATTR_CREATE)) {
    Dword stored = 0;
    Dword current = ReadStoredAttributes(host, &stored) ? stored : unstored;
    if (current != value) WriteStoredAttributes(host, value);
  }
  if (file) {
    mode_t mode = st.st_mode & 07777;
    if (WithReadOnly(mode, value) != mode && chmod(host.c_str(), WithReadOnly(mode, value)) != 0) {
      return FailFromErrno(host);
    }
  }
  return true;
}

bool RemoveFile(const std::string& path) {
  if (FaultHit(FaultOp::RemoveFile)) return false;
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return false;
  const std::string& host = entry.path;
  struct stat st;
  if (!entry.exists || lstat(host.c_str(), &st) != 0) return FailMissing(entry);
  if (entry.outside || S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return Fail(kErrorAccessDenied);
  if (S_ISLNK(st.st_mode)) {
    // DeleteFile removes a link to a file, never a link to a folder.
    if (LinkAttributes(host) & kAttributeDirectory) return Fail(kErrorAccessDenied);
    if (::unlink(host.c_str()) != 0) return FailFromErrno(host);
    return true;
  }
  if (sim::IsRunningImage(host)) return Fail(kErrorAccessDenied);
  int fd = ::open(host.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd >= 0) {
    bool denied = sim::DeleteDenied(fd);
    ::close(fd);
    if (denied) return Fail(kErrorSharingViolation);
  }
  if (::unlink(host.c_str()) != 0) return FailFromErrno(host);
  return true;
}

bool MakeFolder(const std::string& path) {
  if (FaultHit(FaultOp::MakeFolder)) return false;
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return false;
  if (entry.outside) return Fail(kErrorAccessDenied);
  if (::mkdir(entry.path.c_str(), 0777) != 0) {
    return errno == ENOENT ? Fail(kErrorPathNotFound) : FailFromErrno(entry.path);
  }
  return true;
}

bool RemoveFolder(const std::string& path) {
  if (FaultHit(FaultOp::RemoveFolder)) return false;
  sim::HostEntry entry;
  if (!sim::MapPath(path, &entry)) return false;
  const std::string& host = entry.path;
  struct stat st;
  if (!entry.exists || lstat(host.c_str(), &st) != 0) return FailMissing(entry);
  if (entry.outside) return Fail(kErrorAccessDenied);
  if (S_ISLNK(st.st_mode)) {
    // RemoveDirectory removes a link to a folder itself, never what it leads to.
    struct stat target;
    if (stat(host.c_str(), &target) == 0 && !S_ISDIR(target.st_mode)) return Fail(kErrorDirectory);
    if (::unlink(host.c_str()) != 0) return FailFromErrno(host);
    return true;
  }
  if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
  if (AttributesOf(host, st) & kAttributeReadOnly) return Fail(kErrorAccessDenied);
  if (::rmdir(host.c_str()) != 0) return FailFromErrno(host);
  return true;
}

bool ListFolder(const std::string& pattern, std::vector<FolderEntry>* entries) {
  entries->clear();
  if (FaultHit(FaultOp::ListFolder)) return false;
  std::size_t cut = pattern.find_last_of("\\/");
  std::string folder = cut == std::string::npos ? "." : pattern.substr(0, cut + 1);
  std::string wildcard = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
  if (folder.size() == 2 && folder[1] == ':') folder += '\\';
  if (wildcard == "*.*") wildcard = "*";
  std::string host;
  if (!sim::MapPath(folder, &host)) return false;
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) {
    return (errno == ENOENT || errno == ENOTDIR) ? Fail(kErrorPathNotFound) : FailFromErrno(host);
  }
  while (dirent* entry = readdir(dir)) {
    std::string hostName = entry->d_name;
    if (hostName == "." || hostName == "..") continue;
    std::string name = sim::DeviceName(hostName);
    if (!MatchWildcard(wildcard.c_str(), name.c_str())) continue;
    std::string full = host + "/" + hostName;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    FolderEntry item;
    item.name = name;
    if (S_ISLNK(st.st_mode)) {
      item.attributes = LinkAttributes(full);
      item.size = 0;
    } else {
      item.attributes = AttributesOf(full, st);
      item.size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
    }
    entries->push_back(item);
  }
  closedir(dir);
  // NTFS lists names in upper-cased order.
  std::sort(entries->begin(), entries->end(), [](const FolderEntry& a, const FolderEntry& b) {
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [](char x, char y) {
                                          auto up = [](char c) {
                                            return static_cast<unsigned char>(
                                                (c >= 'a' && c <= 'z') ? c - 32 : c);
                                          };
                                          return up(x) < up(y);
                                        });
  });
  if (entries->empty()) return Fail(kErrorFileNotFound);
  return true;
}

bool FullPath(const std::string& path, std::string* fullPath) {
  if (FaultHit(FaultOp::FullPath)) return false;
  sim::DevicePath parsed;
  if (!sim::ParsePath(path, &parsed)) return false;
  *fullPath = sim::DeviceForm(parsed);
  // A trailing separator is kept, as GetFullPathName keeps it.
  if (!parsed.parts.empty() && (path.back() == '\\' || path.back() == '/')) {
    *fullPath += parsed.onHost ? '/' : '\\';
  }
  return true;
}

bool FlushFile(File& file) {
  if (FaultHit(FaultOp::FlushFile)) return false;
  if (!file.IsValid()) return Fail(kErrorInvalidHandle);
  if (::fsync(static_cast<int>(file.native())) != 0) return FailFromErrno();
  return true;
}

}  // namespace platform
