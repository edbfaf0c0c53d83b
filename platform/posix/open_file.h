#pragma once
// What the simulator keeps of an open file beside its descriptor, for the
// file and mapping calls.
#include "platform/errors.h"

namespace platform::sim {

// Bits of File::flags() of the simulator's own, below the kFlag* values.
// The file system refused O_DIRECT: each unbuffered read drops the cached pages first.
constexpr Dword kDropCache = 0x1;
// This open created or emptied the file and denies writing to every other
// open: the file is empty until this open writes to it or maps it.
constexpr Dword kKnownEmpty = 0x2;
// An append left the position at an end the File did not learn.
constexpr Dword kPositionUnknown = 0x4;

// A descriptor that a file shares with the mappings made from it: every
// holder after the first is counted, and the last one to let go closes it.
void ShareDescriptor(int fd);
void ReleaseDescriptor(int fd);

}  // namespace platform::sim
