#include "platform/fault.h"

namespace platform {
namespace {

struct Fault {
  int remaining = 0;
  Dword error = 0;
};

Fault g_faults[static_cast<int>(FaultOp::Count)];

void Recount() {
  detail::g_faultsArmed = false;
  for (const Fault& f : g_faults) {
    if (f.remaining != 0) detail::g_faultsArmed = true;
  }
}

}  // namespace

namespace detail {
bool g_faultsArmed = false;

bool TakeFault(FaultOp op) {
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
  detail::g_faultsArmed = false;
}

}  // namespace platform
