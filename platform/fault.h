#pragma once
// The one test seam of the operating-system layer: a test arms "fail the next
// N calls of operation X with error E"; every operation asks FaultHit() first.
#include <string>

#include "platform/errors.h"

namespace platform {

enum class FaultOp {
  OpenFile,
  ReadFile,
  WriteFile,
  SeekFile,
  FileSize,
  SetFileEnd,
  FileAttributes,
  SetAttributes,
  RemoveFile,
  MakeFolder,
  RemoveFolder,
  ListFolder,
  FullPath,
  CreateMapping,
  MapView,
  AllocateLockedBuffer,
  DeleteAtRestart,
  MoveAtRestart,
  MoveNow,
  // The lock step of AllocateLockedBuffer alone: the buffer comes back unlocked.
  LockMemory,
  OpenProcess,
  ProcessImageName,
  OpenPolicyKey,
  ReadPolicyValue,
  WritePolicyValue,
  CreatePowerRequest,
  SetPowerRequest,
  ClearPowerRequest,
  PowerCapabilities,
  ActivePowerScheme,
  ReadAcValue,
  ReadDcValue,
  WriteAcValue,
  WriteDcValue,
  SetActivePowerScheme,
  OsVersion,
  OpenProcessToken,
  LookupPrivilege,
  EnablePrivilege,
  RestorePrivileges,
  EndSession,
  SetSystemPowerState,
  OpenServiceManager,
  OpenService,
  CreateService,
  StartService,
  ControlService,
  QueryServiceStatus,
  DeleteService,
  ListProcesses,
  TerminateProcess,
  FlushFile,
  ReplaceNow,
  Count
};

// The next `count` calls of `op` fail with `error` (count < 0: every call).
void ArmFault(FaultOp op, int count, Dword error);
void ClearFaults();
// How many armed failures of `op` are still to come (negative: unlimited).
int RemainingFaults(FaultOp op);

// Arms faults given as text, "NAME:COUNT:ERROR" items separated by commas
// ("EndSession:-1:1314"), NAME being the FaultOp's name; false when an item
// is not of that form (the items before it stay armed).
bool ArmFaults(const std::string& text);

// The process ends, as a kill would end it (exit code 137, no clean-up), at
// the start of the `operations`-th operation of the layer from now; 0 disarms.
// For tests of what a second run finds after the first was cut short.
void ArmKill(long operations);

namespace detail {
extern bool g_faultsArmed;
bool TakeFault(FaultOp op);
}  // namespace detail

// True when the call must fail; the last error is then already set.
inline bool FaultHit(FaultOp op) {
  return detail::g_faultsArmed && detail::TakeFault(op);
}

}  // namespace platform
