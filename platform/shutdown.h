#pragma once
// Privileges of the own process, and the end of a session: restart, power
// off, hibernate, suspend. The simulator records every request in
// sim/shutdown-request and sim/events.log and never acts on the host; the
// device's restart stays `orvanta-sim restart`.
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/handle.h"

namespace platform {

void CloseTokenHandle(std::intptr_t native);

// An access token; invalid as null.
using AccessToken = Handle<CloseTokenHandle, 0>;

constexpr Dword kTokenAdjustPrivileges = 0x0020;
constexpr Dword kTokenQuery = 0x0008;

// OpenProcessToken on the own process.
AccessToken OpenOwnProcessToken(Dword access);

struct Luid {
  Dword lowPart = 0;
  std::int32_t highPart = 0;
};

// LookupPrivilegeValueA on the local system ("SeShutdownPrivilege").
bool LookupPrivilege(const std::string& name, Luid* luid);

// TOKEN_PRIVILEGES with room for one privilege (16 bytes).
struct PrivilegeState {
  Dword count = 0;
  Luid luid;
  Dword attributes = 0;
};

constexpr Dword kPrivilegeEnabled = 0x2;

// AdjustTokenPrivileges enabling the one privilege; `previous` receives the
// state it replaced. False also when the token does not hold the privilege
// (kErrorNotAllAssigned), which the system reports as a success.
bool EnablePrivilege(const AccessToken& token, const Luid& luid, PrivilegeState* previous);
// AdjustTokenPrivileges back to a state EnablePrivilege returned.
bool RestorePrivileges(const AccessToken& token, const PrivilegeState& previous);

// ExitWindowsEx flags and reasons.
constexpr Dword kEwxReboot = 0x02;
constexpr Dword kEwxForce = 0x04;
constexpr Dword kEwxPowerOff = 0x08;
constexpr Dword kEwxForceIfHung = 0x10;
constexpr Dword kShutdownReasonPlanned = 0x80000000;

// ExitWindowsEx: the request is handed to the system, which ends the session.
bool EndSession(Dword flags, Dword reason);

// SetSystemPowerState: suspend (true) or hibernate (false).
bool SetSystemPowerState(bool suspend, bool force);

}  // namespace platform
