#include "platform/shutdown.h"

#include <windows.h>

#include "platform/fault.h"

namespace platform {
namespace {

static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(PrivilegeState), "TOKEN_PRIVILEGES with one entry is 16 bytes");

TOKEN_PRIVILEGES Native(const PrivilegeState& state) {
  TOKEN_PRIVILEGES native = {};
  native.PrivilegeCount = state.count;
  native.Privileges[0].Luid.LowPart = state.luid.lowPart;
  native.Privileges[0].Luid.HighPart = state.luid.highPart;
  native.Privileges[0].Attributes = state.attributes;
  return native;
}

}  // namespace

void CloseTokenHandle(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::CloseHandle(reinterpret_cast<HANDLE>(native));
  ::SetLastError(saved);
}

AccessToken OpenOwnProcessToken(Dword access) {
  if (FaultHit(FaultOp::OpenProcessToken)) return AccessToken();
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), access, &token)) return AccessToken();
  return AccessToken(reinterpret_cast<std::intptr_t>(token));
}

bool LookupPrivilege(const std::string& name, Luid* luid) {
  if (FaultHit(FaultOp::LookupPrivilege)) return false;
  LUID native = {};
  if (!::LookupPrivilegeValueA(nullptr, name.c_str(), &native)) return false;
  luid->lowPart = native.LowPart;
  luid->highPart = native.HighPart;
  return true;
}

bool EnablePrivilege(const AccessToken& token, const Luid& luid, PrivilegeState* previous) {
  if (FaultHit(FaultOp::EnablePrivilege)) return false;
  PrivilegeState wanted;
  wanted.count = 1;
  wanted.luid = luid;
  wanted.attributes = SE_PRIVILEGE_ENABLED;
  TOKEN_PRIVILEGES native = Native(wanted);
  TOKEN_PRIVILEGES before = {};
  DWORD size = sizeof(before);
  if (!::AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token.native()), FALSE, &native, sizeof(before), &before,
                               &size)) {
    return false;
  }
  // A token without the privilege "succeeds" with ERROR_NOT_ALL_ASSIGNED and enables nothing.
  if (::GetLastError() == ERROR_NOT_ALL_ASSIGNED) return false;
  previous->count = before.PrivilegeCount;
  previous->luid.lowPart = before.Privileges[0].Luid.LowPart;
  previous->luid.highPart = before.Privileges[0].Luid.HighPart;
  previous->attributes = before.Privileges[0].Attributes;
  return true;
}

bool RestorePrivileges(const AccessToken& token, const PrivilegeState& previous) {
  if (FaultHit(FaultOp::RestorePrivileges)) return false;
  TOKEN_PRIVILEGES native = Native(previous);
  return ::AdjustTokenPrivileges(reinterpret_cast<HANDLE>(token.native()), FALSE, &native, 0, nullptr, nullptr) !=
         FALSE;
}

bool EndSession(Dword flags, Dword reason) {
  if (FaultHit(FaultOp::EndSession)) return false;
  return ::ExitWindowsEx(flags, reason) != FALSE;
}

bool SetSystemPowerState(bool suspend, bool force) {
  if (FaultHit(FaultOp::SetSystemPowerState)) return false;
  return ::SetSystemPowerState(suspend ? TRUE : FALSE, force ? TRUE : FALSE) != FALSE;
}

}  // namespace platform
