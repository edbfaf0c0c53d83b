#include "platform/clock.h"

#include <time.h>

#include <cmath>

#include "platform/posix/sim_device.h"

namespace platform {
namespace {

std::uint64_t g_waited = 0;

}  // namespace

LocalTime CurrentLocalTime() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local = {};
  localtime_r(&now.tv_sec, &local);
  LocalTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
  return t;
}

void WaitMilliseconds(Dword milliseconds) {
  g_waited += milliseconds;
  double scaled = milliseconds * sim::TimeScale();
  if (scaled <= 0) return;
  timespec delay = {};
  delay.tv_sec = static_cast<time_t>(scaled / 1000);
  delay.tv_nsec = static_cast<long>(std::fmod(scaled, 1000.0) * 1e6);
  while (nanosleep(&delay, &delay) != 0) {
  }
}

std::uint64_t WaitedMilliseconds() { return g_waited; }

}  // namespace platform
