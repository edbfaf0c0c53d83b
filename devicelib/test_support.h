#pragma once
// For tests only: puts the device library's process-wide state back to its
// start-up values.

namespace devicelib {

// The service log forgets its path, so the next text is the process's first write.
void ResetServiceLogState();

}  // namespace devicelib
