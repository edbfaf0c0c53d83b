#include "platform/fault.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>

namespace platform {
namespace {

struct Fault {
  int remaining = 0;
  Dword error = 0;
};

Fault g_faults[static_cast<int>(FaultOp::Count)];

// The operations by name, in FaultOp's order.
const char* const kOpNames[] = {
    "OpenFile", "ReadFile", "WriteFile", "SeekFile", "FileSize", "SetFileEnd", "FileAttributes",
    "SetAttributes", "RemoveFile", "MakeFolder", "RemoveFolder", "ListFolder", "FullPath", "CreateMapping",
    "MapView", "AllocateLockedBuffer", "DeleteAtRestart", "MoveAtRestart", "MoveNow", "LockMemory",
    "OpenProcess", "ProcessImageName", "OpenPolicyKey", "ReadPolicyValue", "WritePolicyValue",
    "CreatePowerRequest", "SetPowerRequest", "ClearPowerRequest", "PowerCapabilities", "ActivePowerScheme",
    "ReadAcValue", "ReadDcValue", "WriteAcValue", "WriteDcValue", "SetActivePowerScheme", "OsVersion",
    "OpenProcessToken", "LookupPrivilege", "EnablePrivilege", "RestorePrivileges", "EndSession",
    "SetSystemPowerState", "OpenServiceManager", "OpenService", "CreateService", "StartService",
    "ControlService", "QueryServiceStatus", "DeleteService", "ListProcesses", "TerminateProcess", "FlushFile",
    "ReplaceNow"};
static_assert(std::size(kOpNames) == static_cast<std::size_t>(FaultOp::Count));
long g_killAfter = 0;

void Recount() {
  detail::g_faultsArmed = g_killAfter > 0;
  for (const Fault& f : g_faults) {
    if (f.remaining != 0) detail::g_faultsArmed = true;
  }
}

}  // namespace

namespace detail {
bool g_faultsArmed = false;

bool TakeFault(FaultOp op) {
  if (g_killAfter > 0 && --g_killAfter == 0) std::_Exit(137);
  Fault& f = g_faults[static_cast<int>(op)];
  if (f.remaining == 0) return false;
  if (f.remaining > 0) --f.remaining;
  SetLastErrorCode(f.error);
  Recount();
  return true;
}
}  // namespace detail

void ArmFault(FaultOp op, int count, Dword error) {
  g_faults[static_cast<int>(op)] = Fault{count, error};
  Recount();
}

int RemainingFaults(FaultOp op) { return g_faults[static_cast<int>(op)].remaining; }

void ClearFaults() {
  for (Fault& f : g_faults) f = Fault{};
  Recount();
}

bool ArmFaults(const std::string& text) {
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(start, end - start);
    std::size_t first = item.find(':');
    std::size_t second = first == std::string::npos ? first : item.find(':', first + 1);
    if (second == std::string::npos) return false;
    std::string name = item.substr(0, first);
    const char* const* found = std::find(std::begin(kOpNames), std::end(kOpNames), name);
    char* countEnd = nullptr;
    char* errorEnd = nullptr;
    std::string countText = item.substr(first + 1, second - first - 1);
    std::string errorText = item.substr(second + 1);
    long count = std::strtol(countText.c_str(), &countEnd, 10);
    unsigned long error = std::strtoul(errorText.c_str(), &errorEnd, 10);
    if (found == std::end(kOpNames) || countText.empty() || *countEnd != '\0' || errorText.empty() ||
        *errorEnd != '\0') {
      return false;
    }
    ArmFault(static_cast<FaultOp>(found - std::begin(kOpNames)), static_cast<int>(count), static_cast<Dword>(error));
    start = end + 1;
  }
  return true;
}

void ArmKill(long operations) {
  g_killAfter = operations > 0 ? operations : 0;
  Recount();
}

}  // namespace platform
