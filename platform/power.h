#pragma once
// Power management: power requests that keep the system awake, the system's
// power capabilities, and the values of the active power scheme.
//
// The simulator keeps its power state under sim/: connected-standby ("on" or
// "off"), power-scheme.tsv (the values written to the active scheme) and
// power-requests.tsv (the requests held, by process).
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/handle.h"

namespace platform {

struct Guid {
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
};

bool operator==(const Guid& a, const Guid& b);

// "{2E601130-5351-4D9D-8E04-252966BAD054}"; parsing accepts the braces as optional.
std::string GuidText(const Guid& guid);
bool ParseGuid(const std::string& text, Guid* guid);

// POWER_REQUEST_TYPE.
enum class PowerRequestType : int {
  DisplayRequired = 0,
  SystemRequired = 1,
  AwayModeRequired = 2,
  ExecutionRequired = 3,
};

void ClosePowerRequest(std::intptr_t native);

// A power request; invalid as INVALID_HANDLE_VALUE. Closing it ends whatever
// it still holds.
using PowerRequest = Handle<ClosePowerRequest, -1>;

// PowerCreateRequest with a simple-string reason (context version 0, flags
// POWER_REQUEST_CONTEXT_SIMPLE_STRING). The request holds nothing until set.
PowerRequest CreatePowerRequest(const std::u16string& reason);
bool SetPowerRequest(const PowerRequest& request, PowerRequestType type);
bool ClearPowerRequest(const PowerRequest& request, PowerRequestType type);

// What the tool reads of SYSTEM_POWER_CAPABILITIES: the AoAc byte (offset 20),
// set on a device with connected standby.
struct PowerCapabilities {
  bool aoAc = false;
};

// CallNtPowerInformation with SystemPowerCapabilities. On failure (an
// NTSTATUS other than 0, kept as the last error) `capabilities` is untouched.
bool QueryPowerCapabilities(PowerCapabilities* capabilities);

void FreePowerScheme(std::intptr_t native);

// The identifier of a power scheme, as PowerGetActiveScheme allocates it;
// invalid as null, freed with LocalFree.
using PowerScheme = Handle<FreePowerScheme, 0>;

// PowerGetActiveScheme (no root key). The power-scheme calls are looked up at
// run time in "powrprof.dll": a system without one fails with
// kErrorProcNotFound instead of refusing to start the program.
PowerScheme GetActivePowerScheme();
// PowerReadACValueIndex, PowerReadDCValueIndex (no root key). A setting the
// scheme has no value for fails with kErrorFileNotFound.
bool ReadAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value);
bool ReadDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value);
// PowerWriteACValueIndex, PowerWriteDCValueIndex (no root key).
bool WriteAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value);
bool WriteDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value);
// PowerSetActiveScheme: makes the written values take effect.
bool SetActivePowerScheme(const PowerScheme& scheme);

}  // namespace platform
