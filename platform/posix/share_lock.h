#pragma once
// Windows share modes between processes, kept as open-file-description locks
// on bytes far past any real data: one byte per right that an open has or
// denies, checked and taken under a short exclusive lock on a guard byte.
#include "platform/errors.h"

namespace platform::sim {

// Checks `access` and `share` of a new open on `fd` against every other open
// of the file and records them; fails with kErrorSharingViolation.
bool AcquireShare(int fd, Dword access, Dword share);

// True when some open of the file does not share delete (so it cannot be
// deleted or renamed); `fd` is any descriptor of the file.
bool DeleteDenied(int fd);

}  // namespace platform::sim
