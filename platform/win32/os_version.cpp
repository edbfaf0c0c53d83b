#include "platform/os_version.h"

#include <windows.h>

#include <cstring>

#include "platform/fault.h"

namespace platform {

static_assert(sizeof(OSVERSIONINFOEXW) == kOsVersionInfoSize, "OSVERSIONINFOEXW is 284 bytes");

bool QueryOsVersion(OsVersionInfo* info) {
  if (FaultHit(FaultOp::OsVersion)) return false;
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto get = ntdll == nullptr ? nullptr
                              : reinterpret_cast<RtlGetVersionFn>(
                                    reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
  if (get == nullptr) {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return false;
  }
  OSVERSIONINFOEXW native = {};
  native.dwOSVersionInfoSize = info->size != 0 ? info->size : sizeof(native);
  get(&native);
  info->size = native.dwOSVersionInfoSize;
  info->majorVersion = native.dwMajorVersion;
  info->minorVersion = native.dwMinorVersion;
  info->buildNumber = native.dwBuildNumber;
  info->platformId = native.dwPlatformId;
  static_assert(sizeof(info->csdVersion) == sizeof(native.szCSDVersion));
  std::memcpy(info->csdVersion, native.szCSDVersion, sizeof(native.szCSDVersion));
  info->servicePackMajor = native.wServicePackMajor;
  info->servicePackMinor = native.wServicePackMinor;
  info->suiteMask = native.wSuiteMask;
  info->productType = native.wProductType;
  info->reserved = native.wReserved;
  return true;
}

}  // namespace platform
