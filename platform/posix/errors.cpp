#include "platform/errors.h"

namespace platform {

namespace {
thread_local Dword g_lastError = 0;
}

Dword LastError() { return g_lastError; }
void SetLastErrorCode(Dword code) { g_lastError = code; }

}  // namespace platform
