#include "platform/terminal.h"

#include <windows.h>

namespace platform {

bool StandardErrorIsTerminal() { return GetFileType(GetStdHandle(STD_ERROR_HANDLE)) == FILE_TYPE_CHAR; }

}  // namespace platform
