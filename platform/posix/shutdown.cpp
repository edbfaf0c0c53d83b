// Privileges and shutdown requests on the simulated device. The process's
// token is modelled in memory (every privilege present, disabled until
// enabled); a shutdown or power-state request is written to
// sim/shutdown-request and the timeline, and never carried out on the host.
#include "platform/shutdown.h"

#include <unistd.h>

#include <cstdio>
#include <map>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

// The privileges the simulated system knows, with their LUIDs as Windows numbers them.
const std::map<std::string, Dword> kPrivileges = {
    {"SeShutdownPrivilege", 19}, {"SeDebugPrivilege", 20}, {"SeRemoteShutdownPrivilege", 24}};

// The own token's privilege attributes, by LUID.
std::map<Dword, Dword>& TokenState() {
  static std::map<Dword, Dword> state;
  return state;
}

std::string Hex(Dword value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
  return text;
}

void RecordRequest(const std::string& action, const std::string& details) {
  std::string text = action + ", " + details + ", process " + std::to_string(getpid());
  sim::WriteSimLines("shutdown-request", {text});
  sim::RecordEvent("shutdown-request", text);
}

}  // namespace

void CloseTokenHandle(std::intptr_t) {}

AccessToken OpenOwnProcessToken(Dword access) {
  if (FaultHit(FaultOp::OpenProcessToken)) return AccessToken();
  return AccessToken(static_cast<std::intptr_t>(access == 0 ? 1 : access));
}

bool LookupPrivilege(const std::string& name, Luid* luid) {
  if (FaultHit(FaultOp::LookupPrivilege)) return false;
  for (const auto& [known, value] : kPrivileges) {
    if (sim::EqualsIgnoreCase(known, name)) {
      luid->lowPart = value;
      luid->highPart = 0;
      return true;
    }
  }
  return sim::Fail(kErrorNoSuchPrivilege);
}

bool EnablePrivilege(const AccessToken& token, const Luid& luid, PrivilegeState* previous) {
  if (FaultHit(FaultOp::EnablePrivilege)) return false;
  if (!token.IsValid()) return sim::Fail(kErrorInvalidHandle);
  previous->count = 1;
  previous->luid = luid;
  previous->attributes = TokenState()[luid.lowPart];
  TokenState()[luid.lowPart] = kPrivilegeEnabled;
  return true;
}

bool RestorePrivileges(const AccessToken& token, const PrivilegeState& previous) {
  if (FaultHit(FaultOp::RestorePrivileges)) return false;
  if (!token.IsValid()) return sim::Fail(kErrorInvalidHandle);
  if (previous.count == 1) TokenState()[previous.luid.lowPart] = previous.attributes;
  return true;
}

bool EndSession(Dword flags, Dword reason) {
  if (FaultHit(FaultOp::EndSession)) return false;
  if (TokenState()[kPrivileges.at("SeShutdownPrivilege")] != kPrivilegeEnabled) {
    return sim::Fail(kErrorPrivilegeNotHeld);
  }
  std::string action = (flags & kEwxPowerOff) ? "power off" : (flags & kEwxReboot) ? "restart" : "log off";
  std::string names;
  for (auto [bit, name] : {std::pair<Dword, const char*>{kEwxReboot, "EWX_REBOOT"}, {kEwxForce, "EWX_FORCE"},
                           {kEwxPowerOff, "EWX_POWEROFF"}, {kEwxForceIfHung, "EWX_FORCEIFHUNG"}}) {
    if (flags & bit) names += std::string(names.empty() ? "" : "|") + name;
  }
  std::string reasonText = Hex(reason) + ((reason & kShutdownReasonPlanned) ? " (planned)" : "");
  RecordRequest(action, "flags " + Hex(flags) + " (" + names + "), reason " + reasonText);
  return true;
}

bool SetSystemPowerState(bool suspend, bool force) {
  if (FaultHit(FaultOp::SetSystemPowerState)) return false;
  if (TokenState()[kPrivileges.at("SeShutdownPrivilege")] != kPrivilegeEnabled) {
    return sim::Fail(kErrorPrivilegeNotHeld);
  }
  RecordRequest(suspend ? "suspend" : "hibernate", std::string("force ") + (force ? "true" : "false"));
  return true;
}

}  // namespace platform
