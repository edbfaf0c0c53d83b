#include "app/run_state.h"

#include "app/test_support.h"

namespace app {

namespace {
RunState g_run;
}

RunState& Run() { return g_run; }

void ResetRunState() { g_run = RunState{}; }

}  // namespace app
