#include "app/system_prep.h"

#include "app/run_log.h"
#include "app/run_state.h"
#include "platform/policy.h"

namespace app {

const platform::Guid kIdleResiliencySubgroup = {0x2E601130, 0x5351, 0x4D9D, {0x8E, 0x04, 0x25, 0x29, 0x66, 0xBA, 0xD0, 0x54}};
const platform::Guid kExecutionRequiredRequestTimeout = {
    0x3166BC41, 0x7E98, 0x4E03, {0xB3, 0x4E, 0xEC, 0x0F, 0x5F, 0x2B, 0x21, 0x8E}};

namespace {

constexpr std::uint32_t kNoTimeout = 0xFFFFFFFF;
const char16_t kKeepAwakeReason[] = u"ZAM software update tool needs to keep the system awake.";

platform::PowerRequestType KeepAwakeType(bool connectedStandby) {
  return connectedStandby ? platform::PowerRequestType::ExecutionRequired
                          : platform::PowerRequestType::SystemRequired;
}

}  // namespace

void EnableCommandPrompt() {
  platform::PolicyKey key = platform::OpenUserPolicyKey("Software\\Policies\\Microsoft\\Windows\\System");
  if (!key.IsValid()) return;
  platform::Dword value = 0;
  platform::ReadPolicyValue(key, "DisableCMD", &value);
  // 2 keeps the interactive prompt closed but lets command scripts run.
  if (value == 1) {
    LogMessage("CMD was disabled. Enabling...\r\n");
    platform::WritePolicyValue(key, "DisableCMD", 2);
  }
}

bool bSupportsConnectedStandby() {
  SystemPrepState& prep = Run().systemPrep;
  if (prep.capabilitiesNotYetRead) {
    platform::PowerCapabilities capabilities = prep.capabilities;
    if (platform::QueryPowerCapabilities(&capabilities)) {
      prep.capabilities = capabilities;
      prep.capabilitiesNotYetRead = false;
    }
  }
  bool supported = prep.capabilities.aoAc;
  LogMessage("bSupportsConnectedStandby(): Device %s support \"connected standby\".\r\n",
             supported ? "DOES" : "does NOT");
  return supported;
}

bool bAddKeepAwake() {
  LogMessage("bAddKeepAwake() called.\r\n");
  platform::PowerRequest request = platform::CreatePowerRequest(kKeepAwakeReason);
  if (!request.IsValid()) {
    LogMessage("bAddKeepAwake() returned false.\r\n");
    return false;
  }
  platform::PowerRequestType type = platform::PowerRequestType::SystemRequired;
  if (bSupportsConnectedStandby()) {
    ExtendExecutionRequiredTimeout();
    type = platform::PowerRequestType::ExecutionRequired;
  }
  if (!platform::SetPowerRequest(request, type)) {
    request.Close();
    LogMessage("bAddKeepAwake() returned false.\r\n");
    return false;
  }
  bRemoveKeepAwake();
  Run().systemPrep.keepAwake = std::move(request);
  LogMessage("bAddKeepAwake() returned true.\r\n");
  return true;
}

bool bRemoveKeepAwake() {
  LogMessage("bRemoveKeepAwake() called.\r\n");
  platform::PowerRequest& held = Run().systemPrep.keepAwake;
  if (!held.IsValid()) {
    LogMessage("bRemoveKeepAwake() returned false.\r\n");
    return false;
  }
  bool cleared = platform::ClearPowerRequest(held, KeepAwakeType(bSupportsConnectedStandby()));
  held.Close();
  LogMessage("bRemoveKeepAwake() returned %s.\r\n", cleared ? "true" : "false");
  return cleared;
}

void ExtendExecutionRequiredTimeout() {
  SystemPrepState& prep = Run().systemPrep;
  if (prep.rememberedAc == kNoTimeout && prep.rememberedDc == kNoTimeout) return;
  GetActiveAcDcSettingValues(kIdleResiliencySubgroup, kExecutionRequiredRequestTimeout, &prep.rememberedAc,
                             &prep.rememberedDc);
  if (prep.rememberedAc == kNoTimeout && prep.rememberedDc == kNoTimeout) return;
  SetActiveAcDcSettingValues(kIdleResiliencySubgroup, kExecutionRequiredRequestTimeout, kNoTimeout, kNoTimeout);
}

void GetActiveAcDcSettingValues(const platform::Guid& subgroup, const platform::Guid& setting, std::uint32_t* ac,
                                std::uint32_t* dc) {
  *ac = 0;
  *dc = 0;
  platform::PowerScheme scheme = platform::GetActivePowerScheme();
  if (!scheme.IsValid()) return;
  platform::Dword acValue = 0;
  platform::Dword dcValue = 0;
  if (platform::ReadAcValueIndex(scheme, subgroup, setting, &acValue) &&
      platform::ReadDcValueIndex(scheme, subgroup, setting, &dcValue)) {
    *ac = acValue;
    *dc = dcValue;
  }
}

void SetActiveAcDcSettingValues(const platform::Guid& subgroup, const platform::Guid& setting, std::uint32_t ac,
                                std::uint32_t dc) {
  bool done = false;
  {
    platform::PowerScheme scheme = platform::GetActivePowerScheme();
    done = scheme.IsValid() && platform::WriteAcValueIndex(scheme, subgroup, setting, ac) &&
           platform::WriteDcValueIndex(scheme, subgroup, setting, dc) && platform::SetActivePowerScheme(scheme);
  }
  if (done) {
    LogMessage("SetActiveAcDcSettingValues() succeeded.\r\n");
  } else {
    LogMessage("ERROR: SetActiveAcDcSettingValues() failed.\r\n");
  }
}

platform::OsVersionInfo GetOsVersionInfo() {
  platform::OsVersionInfo info;
  info.size = platform::kOsVersionInfoSize;
  if (!platform::QueryOsVersion(&info)) {
    info = platform::OsVersionInfo{};
    info.size = platform::kOsVersionInfoSize;
  }
  return info;
}

}  // namespace app
