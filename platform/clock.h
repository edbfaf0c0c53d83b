#pragma once
// Local time and the fixed waits of the tool.
#include <cstdint>

#include "platform/errors.h"

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1 to 12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// GetLocalTime.
LocalTime CurrentLocalTime();

// Sleep. The simulator scales the time by ORVANTA_SIM_TIME_SCALE (0 returns at
// once); the device always waits in real time.
void WaitMilliseconds(Dword milliseconds);

// The milliseconds asked of WaitMilliseconds in this process so far, whatever
// the time scale: what the device would have waited.
std::uint64_t WaitedMilliseconds();

// GetTickCount64: milliseconds since an arbitrary start, for bounding a
// retry loop by the time that has passed rather than by a count of tries.
// The simulator's clock also moves by the part of every wait that its time
// scale skipped, so that at time scale 0 a loop still ends after the time the
// device would have spent in it.
std::uint64_t TickCount();

// The poll step of every wait loop of the tool.
inline void Wait100ms() { WaitMilliseconds(100); }

}  // namespace platform
