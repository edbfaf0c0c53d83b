#include "platform/clock.h"

#include <windows.h>

namespace platform {
namespace {

std::uint64_t g_waited = 0;

}  // namespace

LocalTime CurrentLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  t.millisecond = now.wMilliseconds;
  return t;
}

void WaitMilliseconds(Dword milliseconds) {
  g_waited += milliseconds;
  ::Sleep(milliseconds);
}

std::uint64_t WaitedMilliseconds() { return g_waited; }

std::uint64_t TickCount() { return ::GetTickCount64(); }

}  // namespace platform
