#include "platform/errors.h"

#include <windows.h>

namespace platform {

Dword LastError() { return ::GetLastError(); }
void SetLastErrorCode(Dword code) { ::SetLastError(code); }

}  // namespace platform
