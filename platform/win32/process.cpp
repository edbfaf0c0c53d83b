#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {


void Process::Close() {
  if (native_ == 0) return;
  DWORD saved = ::GetLastError();
  ::CloseHandle(reinterpret_cast<HANDLE>(native_));
  native_ = 0;
  ::SetLastError(saved);
}

Process StartWithShell(const std::string& file, const std::string& parameters, const std::string& directory) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  info.nShow = SW_SHOW;
  if (!::ShellExecuteExA(&info) || info.hProcess == nullptr) return Process();
  return Process(reinterpret_cast<std::intptr_t>(info.hProcess));
}

bool WaitForProcess(const Process& process, Dword milliseconds) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(process.native()), milliseconds) == WAIT_OBJECT_0;
}

}  // namespace platform
