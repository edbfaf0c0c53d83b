#include "platform/fault.h"

#include <cstdlib>

namespace platform {
namespace {

struct Fault {
  int remaining = 0;
  Dword error = 0;
};

Fault g_faults[static_cast<int>(FaultOp::Count)];
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

void ArmKill(long operations) {
  g_killAfter = operations > 0 ? operations : 0;
  Recount();
}

}  // namespace platform
