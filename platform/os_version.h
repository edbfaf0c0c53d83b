#pragma once
// The true version of the operating system. The simulator reads it from
// sim/os-version ("MAJOR.MINOR"; 10.0 when absent).
#include <cstdint>

#include "platform/errors.h"

namespace platform {

// OSVERSIONINFOEXW.
struct OsVersionInfo {
  Dword size = 0;
  Dword majorVersion = 0;
  Dword minorVersion = 0;
  Dword buildNumber = 0;
  Dword platformId = 0;
  char16_t csdVersion[128] = {};
  std::uint16_t servicePackMajor = 0;
  std::uint16_t servicePackMinor = 0;
  std::uint16_t suiteMask = 0;
  std::uint8_t productType = 0;
  std::uint8_t reserved = 0;
};

// The size field OSVERSIONINFOEXW asks for.
constexpr Dword kOsVersionInfoSize = 284;

// RtlGetVersion, looked up in the already loaded "ntdll.dll". Fails with
// kErrorProcNotFound when the entry cannot be found; `info` is then untouched.
bool QueryOsVersion(OsVersionInfo* info);

}  // namespace platform
