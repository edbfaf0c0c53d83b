#pragma once
// For tests only: puts the run-wide state back to its start-up values.

namespace app {

void ResetRunState();

}  // namespace app
