#include "platform/posix/share_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/posix/sim_device.h"

namespace platform::sim {
namespace {

constexpr off_t kLockBase = 0x7FFFFFFFFFFFFF00;

enum Byte : off_t { kHasRead = 0, kHasWrite = 1, kDenyRead = 2, kDenyWrite = 3, kDenyDelete = 4, kGuard = 5 };

bool Lock(int fd, off_t byte, short type, bool wait) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + byte;
  fl.l_len = 1;
  while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when another open description holds a lock on `byte`.
bool HeldByOther(int fd, off_t byte) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + byte;
  fl.l_len = 1;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

// The guard needs a descriptor open for writing; without one (a host file
// this user may only read) the check runs unguarded.
struct Guard {
  int fd;
  bool held;
  explicit Guard(int f) : fd(f), held(Lock(f, kGuard, F_WRLCK, true)) {}
  ~Guard() {
    if (held) Lock(fd, kGuard, F_UNLCK, false);
  }
};

}  // namespace

bool AcquireShare(int fd, Dword access, Dword share) {
  Guard guard(fd);
  bool read = (access & kGenericRead) != 0;
  bool write = (access & kGenericWrite) != 0;
  if ((read && HeldByOther(fd, kDenyRead)) || (write && HeldByOther(fd, kDenyWrite)) ||
      (!(share & kShareRead) && HeldByOther(fd, kHasRead)) ||
      (!(share & kShareWrite) && HeldByOther(fd, kHasWrite))) {
    return Fail(kErrorSharingViolation);
  }
  bool ok = true;
  if (read) ok = ok && Lock(fd, kHasRead, F_RDLCK, false);
  if (write) ok = ok && Lock(fd, kHasWrite, F_RDLCK, false);
  if (!(share & kShareRead)) ok = ok && Lock(fd, kDenyRead, F_RDLCK, false);
  if (!(share & kShareWrite)) ok = ok && Lock(fd, kDenyWrite, F_RDLCK, false);
  if (!(share & kShareDelete)) ok = ok && Lock(fd, kDenyDelete, F_RDLCK, false);
  if (!ok) return FailFromErrno();
  return true;
}

bool DeleteDenied(int fd) {
  Guard guard(fd);
  return HeldByOther(fd, kDenyDelete);
}

}  // namespace platform::sim
