#pragma once
// System preparation: the command processor reopened when a user policy
// closed it, the system kept awake during the run (with the execution-required
// request timeout of the active power scheme raised on connected-standby
// devices), and the true OS version.
#include <cstdint>

#include "platform/os_version.h"
#include "platform/power.h"

namespace app {

// "Software\Policies\Microsoft\Windows\System", value "DisableCMD": only 1
// (the command processor closed to scripts too) becomes 2.
void EnableCommandPrompt();

// Asks the power capabilities until one query succeeds; logs the answer at
// every call.
bool bSupportsConnectedStandby();

// Creates and sets the keep-awake power request (execution required on a
// connected-standby device, system required otherwise); a request held from
// an earlier call is dropped. True when a request is now held.
bool bAddKeepAwake();

// Clears and closes the held request. False when none was held or the clear failed.
bool bRemoveKeepAwake();

// Raises the active scheme's execution-required request timeout to
// 0xFFFFFFFF for AC and DC unless both already are.
void ExtendExecutionRequiredTimeout();

// Both outs are 0 unless both indexes of the active scheme could be read.
void GetActiveAcDcSettingValues(const platform::Guid& subgroup, const platform::Guid& setting, std::uint32_t* ac,
                                std::uint32_t* dc);
void SetActiveAcDcSettingValues(const platform::Guid& subgroup, const platform::Guid& setting, std::uint32_t ac,
                                std::uint32_t dc);

// RtlGetVersion's record; zeroed (major version 0) when the call is not there.
platform::OsVersionInfo GetOsVersionInfo();

// GUID_IDLE_RESILIENCY_SUBGROUP and GUID_EXECUTION_REQUIRED_REQUEST_TIMEOUT.
extern const platform::Guid kIdleResiliencySubgroup;
extern const platform::Guid kExecutionRequiredRequestTimeout;

}  // namespace app
