#include "platform/posix/share_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file.h"
#include "platform/posix/sim_device.h"

namespace platform::sim {
namespace {

constexpr off_t kLockBase = 0x7FFFFFFFFFFFFF00;

// The bytes in an order that puts what the common opens hold side by side:
// read and write without sharing holds all five, read without sharing the
// last four; each run of bytes is one call.
enum Byte : off_t { kHasWrite = 0, kHasRead = 1, kDenyRead = 2, kDenyWrite = 3, kDenyDelete = 4, kGuard = 5, kBytes = 5 };

bool Lock(int fd, off_t first, off_t count, short type, bool wait) {
  struct flock fl = {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + first;
  fl.l_len = count;
  while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when another open description holds a lock on any of `count` bytes from `first`.
bool HeldByOther(int fd, off_t first, off_t count) {
  struct flock fl = {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kLockBase + first;
  fl.l_len = count;
  if (fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

using Bits = unsigned;
Bits Bit(Byte b) { return 1u << b; }

// Takes (or releases) the bytes in `bits`, one call per run of neighbours.
bool LockBytes(int fd, Bits bits, short type) {
  for (off_t first = 0; first < kBytes;) {
    if (!(bits & (1u << first))) {
      ++first;
      continue;
    }
    off_t end = first;
    while (end < kBytes && (bits & (1u << end))) ++end;
    if (!Lock(fd, first, end - first, type, false)) return false;
    first = end;
  }
  return true;
}

// The exact test: each byte on its own.
bool AnyHeldByOther(int fd, Bits bits) {
  for (off_t b = 0; b < kBytes; ++b) {
    if ((bits & (1u << b)) && HeldByOther(fd, b, 1)) return true;
  }
  return false;
}

// One call over the span of `bits` answers "none held" for all of them; a
// lock found there may lie on a byte between them, so only the exact test
// can say "held".
bool HeldByOtherAtOnce(int fd, Bits bits) {
  if (bits == 0) return false;
  off_t first = 0;
  while (!(bits & (1u << first))) ++first;
  off_t last = kBytes - 1;
  while (!(bits & (1u << last))) --last;
  if (!HeldByOther(fd, first, last - first + 1)) return false;
  return last == first || AnyHeldByOther(fd, bits);
}

// The guard needs a descriptor open for writing; without one (a host file
// this user may only read) the check runs unguarded.
struct Guard {
  int fd;
  bool held;
  explicit Guard(int f) : fd(f), held(Lock(f, kGuard, 1, F_WRLCK, true)) {}
  ~Guard() {
    if (held) Lock(fd, kGuard, 1, F_UNLCK, false);
  }
};

}  // namespace

// An open records what it has and denies first and only then looks at what
// the others hold: of two opens that conflict, the later to record sees the
// other, so at least one of them notices. Only then do they take turns under
// the guard, recording and looking again one at a time, so that the one that
// comes first there keeps the file and the other fails as on the device. The
// common open that meets nobody costs two or three calls. An open that
// steps back was briefly visible: a delete racing with it may be refused,
// as it may be on the device while the open is under way.
bool AcquireShare(int fd, Dword access, Dword share) {
  bool read = (access & kGenericRead) != 0;
  bool write = (access & kGenericWrite) != 0;
  Bits own = (read ? Bit(kHasRead) : 0) | (write ? Bit(kHasWrite) : 0) | (!(share & kShareRead) ? Bit(kDenyRead) : 0) |
             (!(share & kShareWrite) ? Bit(kDenyWrite) : 0) | (!(share & kShareDelete) ? Bit(kDenyDelete) : 0);
  Bits conflicts = (read ? Bit(kDenyRead) : 0) | (write ? Bit(kDenyWrite) : 0) |
                   (!(share & kShareRead) ? Bit(kHasRead) : 0) | (!(share & kShareWrite) ? Bit(kHasWrite) : 0);
  if (!LockBytes(fd, own, F_RDLCK)) return FailFromErrno();
  if (!HeldByOtherAtOnce(fd, conflicts)) return true;
  LockBytes(fd, own, F_UNLCK);
  Guard guard(fd);
  if (!LockBytes(fd, own, F_RDLCK)) return FailFromErrno();
  if (!AnyHeldByOther(fd, conflicts)) return true;
  LockBytes(fd, own, F_UNLCK);
  return Fail(kErrorSharingViolation);
}

// One look at one byte: whoever denies delete holds it from before its
// open's test on, so no guard is needed to see it.
bool DeleteDenied(int fd) { return HeldByOther(fd, kDenyDelete, 1); }

}  // namespace platform::sim
