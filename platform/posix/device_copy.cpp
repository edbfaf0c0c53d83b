#include "platform/posix/device_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/handle.h"

namespace platform::sim {
namespace {

void CloseDescriptor(std::intptr_t fd) { ::close(static_cast<int>(fd)); }
using Descriptor = Handle<CloseDescriptor, -1>;

constexpr const char* kAttributeName = "user.orvanta.attributes";
constexpr std::size_t kBlock = 1 << 20;

bool IsDriveName(const std::string& name) { return name.size() == 1 && name[0] >= 'A' && name[0] <= 'Z'; }

std::string RealPath(const std::string& path) {
  std::string real;
  if (char* resolved = realpath(path.c_str(), nullptr)) {
    real = resolved;
    std::free(resolved);
  }
  return real;
}

class Copier {
 public:
  explicit Copier(std::string* problem) : problem_(problem) {}

  // A real host folder of the device and the copy's folder for it: links
  // that name a place below it are made to name the same place in the copy.
  void AddPlace(const std::string& real, const std::string& copy) { places_.emplace_back(real, copy); }

  bool Entry(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return FailErrno(from);
    if (S_ISLNK(st.st_mode)) return Link(from, to);
    if (S_ISDIR(st.st_mode)) return Folder(from, to, st);
    if (S_ISREG(st.st_mode)) return File(from, to, st);
    return Fail(from, S_ISFIFO(st.st_mode)   ? "a FIFO (named pipe), which a device does not hold"
                      : S_ISSOCK(st.st_mode) ? "a socket, which a device does not hold"
                                             : "a device file, which a device does not hold");
  }

  // A folder with what it holds; `st` is the folder's own status (that of
  // the folder a drive link names, for a drive).
  bool Folder(const std::string& from, const std::string& to, const struct stat& st) {
    if (mkdir(to.c_str(), 0700) != 0) return FailErrno(to);
    std::vector<std::string> names;
    if (!Names(from, &names)) return false;
    for (const std::string& name : names) {
      if (!Entry(from + "/" + name, to + "/" + name)) return false;
    }
    // Last, so that a read-only folder could still be filled.
    return Finish(from, to, st);
  }

  // The names a folder holds, as the bytes they are.
  bool Names(const std::string& folder, std::vector<std::string>* names) {
    std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(folder.c_str()), closedir);
    if (!listing) return FailErrno(folder);
    errno = 0;
    while (dirent* entry = readdir(listing.get())) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names->push_back(name);
      errno = 0;
    }
    return errno == 0 || FailErrno(folder);
  }

 private:
  bool Fail(const std::string& path, const std::string& reason) {
    *problem_ = "cannot copy " + path + ": " + reason;
    return false;
  }
  bool FailErrno(const std::string& path) { return Fail(path, std::strerror(errno)); }

  bool Link(const std::string& from, const std::string& to) {
    std::vector<char> text(4096);
    ssize_t n = readlink(from.c_str(), text.data(), text.size());
    if (n < 0) return FailErrno(from);
    if (static_cast<std::size_t>(n) >= text.size()) return Fail(from, std::strerror(ENAMETOOLONG));
    std::string target(text.data(), static_cast<std::size_t>(n));
    for (const auto& [real, copy] : places_) {
      if (target.compare(0, real.size(), real) == 0 && (target.size() == real.size() || target[real.size()] == '/')) {
        target = copy + target.substr(real.size());
        break;
      }
    }
    if (symlink(target.c_str(), to.c_str()) != 0) return FailErrno(to);
    return true;
  }

  // The file's data ranges only: the holes of a sparse file stay holes in
  // the copy. copy_file_range shares the blocks where the file system can.
  bool File(const std::string& from, const std::string& to, const struct stat& st) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!in.IsValid()) return FailErrno(from);
    Descriptor out(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!out.IsValid()) return FailErrno(to);
    int source = static_cast<int>(in.native());
    int target = static_cast<int>(out.native());
    off_t size = st.st_size;
    for (off_t data = 0; data < size;) {
      data = lseek(source, data, SEEK_DATA);
      if (data < 0 && errno == ENXIO) break;  // only a hole up to the end
      if (data < 0) return FailErrno(from);
      off_t hole = lseek(source, data, SEEK_HOLE);
      if (hole < 0) return FailErrno(from);
      if (!Range(source, target, data, hole - data, from, to)) return false;
      data = hole;
    }
    if (ftruncate(target, size) != 0) return FailErrno(to);
    return Finish(from, to, st);
  }

  bool Range(int source, int target, off_t offset, off_t length, const std::string& from, const std::string& to) {
    off_t in = offset;
    off_t out = offset;
    while (length > 0) {
      ssize_t n = copy_file_range(source, &in, target, &out, static_cast<std::size_t>(length), 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
        return Copied(source, target, in, length, from, to);
      }
      if (n < 0) return FailErrno(errno == ENOSPC || errno == EDQUOT || errno == EFBIG ? to : from);
      if (n == 0) return Fail(from, "the file became shorter while it was copied");
      length -= n;
    }
    return true;
  }

  // Where the file systems cannot copy between themselves: read and written.
  bool Copied(int source, int target, off_t offset, off_t length, const std::string& from, const std::string& to) {
    std::vector<char> buffer(kBlock);
    while (length > 0) {
      ssize_t n = pread(source, buffer.data(), static_cast<std::size_t>(std::min<off_t>(length, kBlock)), offset);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return FailErrno(from);
      if (n == 0) return Fail(from, "the file became shorter while it was copied");
      for (ssize_t done = 0; done < n;) {
        ssize_t written = pwrite(target, buffer.data() + done, static_cast<std::size_t>(n - done), offset + done);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return FailErrno(to);
        done += written;
      }
      offset += n;
      length -= n;
    }
    return true;
  }

  // The mode, the stored attributes and the times of the original.
  bool Finish(const std::string& from, const std::string& to, const struct stat& st) {
    char value[64];
    ssize_t n = getxattr(from.c_str(), kAttributeName, value, sizeof(value));
    if (n >= 0 && setxattr(to.c_str(), kAttributeName, value, static_cast<std::size_t>(n), 0) != 0) {
      return FailErrno(to);
    }
    if (chmod(to.c_str(), st.st_mode & 07777) != 0) return FailErrno(to);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (utimensat(AT_FDCWD, to.c_str(), times, 0) != 0) return FailErrno(to);
    return true;
  }

  std::vector<std::pair<std::string, std::string>> places_;
  std::string* problem_;
};

}  // namespace

bool CopyDevice(const std::string& from, const std::string& to, std::string* problem) {
  Copier copier(problem);
  std::string root = RealPath(from);
  struct stat st;
  if (root.empty() || stat(root.c_str(), &st) != 0) {
    *problem = "cannot copy " + from + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::string> names;
  if (!copier.Names(root, &names)) return false;
  copier.AddPlace(root, to);
  for (const std::string& name : names) {
    std::string real = IsDriveName(name) ? RealPath(root + "/" + name) : std::string();
    if (!real.empty() && real != root + "/" + name) copier.AddPlace(real, to + "/" + name);
  }
  if (mkdir(to.c_str(), 0700) != 0) {
    *problem = "cannot make the copy " + to + ": " + std::strerror(errno);
    return false;
  }
  for (const std::string& name : names) {
    std::string source = root + "/" + name;
    struct stat drive;
    bool isDrive = IsDriveName(name) && stat(source.c_str(), &drive) == 0 && S_ISDIR(drive.st_mode);
    if (!(isDrive ? copier.Folder(source, to + "/" + name, drive) : copier.Entry(source, to + "/" + name))) {
      return false;
    }
  }
  if (chmod(to.c_str(), st.st_mode & 07777) != 0) {
    *problem = "cannot copy " + from + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace platform::sim
