#include "platform/clock.h"

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/posix/sim_device.h"

namespace platform {
namespace {

std::uint64_t g_waited = 0;
// What the time scale took off the waits so far: the simulated clock runs ahead of the host's by it.
double g_skipped = 0;
// Real time spent in waits for events, against ORVANTA_SIM_EVENT_WAIT_MS.
long long g_eventWaitSpent = 0;

constexpr long long kDefaultEventWaitMs = 5000;

long long MonotonicMs() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

long long EventWaitBudget() {
  const char* text = std::getenv("ORVANTA_SIM_EVENT_WAIT_MS");
  if (text == nullptr) return kDefaultEventWaitMs;
  char* end = nullptr;
  long long value = std::strtoll(text, &end, 10);
  return end == text || *end != '\0' || value < 0 ? kDefaultEventWaitMs : value;
}

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
  if (scaled < milliseconds) g_skipped += milliseconds - scaled;
  if (scaled <= 0) return;
  timespec delay = {};
  delay.tv_sec = static_cast<time_t>(scaled / 1000);
  delay.tv_nsec = static_cast<long>(std::fmod(scaled, 1000.0) * 1e6);
  while (nanosleep(&delay, &delay) != 0) {
  }
}

std::uint64_t WaitedMilliseconds() { return g_waited; }

std::uint64_t TickCount() { return static_cast<std::uint64_t>(MonotonicMs() + static_cast<long long>(g_skipped)); }

namespace sim {

int EventWaitTimeout(Dword milliseconds) {
  if (milliseconds == 0xFFFFFFFF) return -1;
  double scale = TimeScale();
  double scaled = std::ceil(milliseconds * scale);
  if (scale < 1) {
    long long left = EventWaitBudget() - g_eventWaitSpent;
    if (left > 0) scaled = std::max(scaled, static_cast<double>(std::min<long long>(milliseconds, left)));
  }
  // A running process gets at least 1 ms, so that a poll loop never spins idle.
  return milliseconds == 0 ? 0 : scaled < 1 ? 1 : scaled > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(scaled);
}

void EventWaitDone(Dword milliseconds, long long spentMs, bool timedOut) {
  g_eventWaitSpent += spentMs;
  if (timedOut && milliseconds != 0xFFFFFFFF && spentMs < milliseconds) g_skipped += milliseconds - spentMs;
}

}  // namespace sim
}  // namespace platform
