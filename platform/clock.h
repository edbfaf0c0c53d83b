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

// The poll step of every wait loop of the tool.
inline void Wait100ms() { WaitMilliseconds(100); }

}  // namespace platform
