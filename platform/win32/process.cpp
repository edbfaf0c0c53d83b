#include "platform/process.h"

#include <windows.h>

#include <shellapi.h>

#include "platform/fault.h"

namespace platform {

void CloseProcessHandle(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::CloseHandle(reinterpret_cast<HANDLE>(native));
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

bool LaunchWithShell(const std::string& file, const std::string& parameters, const std::string& directory,
                     int showCommand) {
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_FLAG_NO_UI;
  info.lpFile = file.c_str();
  info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  info.nShow = showCommand;
  return ::ShellExecuteExA(&info) != FALSE;
}

Process OpenProcessById(Dword processId, Dword access) {
  if (FaultHit(FaultOp::OpenProcess)) return Process();
  return Process(reinterpret_cast<std::intptr_t>(::OpenProcess(access, FALSE, processId)));
}

bool QueryProcessImageName(const Process& process, std::string* path) {
  if (FaultHit(FaultOp::ProcessImageName)) return false;
  using QueryFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, PDWORD);
  HMODULE kernel = ::LoadLibraryA("kernel32.dll");
  if (kernel == nullptr) return false;
  auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "QueryFullProcessImageNameA")));
  bool ok = false;
  if (query != nullptr) {
    char buffer[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    ok = query(reinterpret_cast<HANDLE>(process.native()), 0, buffer, &size) != FALSE;
    if (ok) path->assign(buffer, size);
  }
  DWORD error = ::GetLastError();
  ::FreeLibrary(kernel);
  ::SetLastError(error);
  return ok;
}

bool WaitForProcess(const Process& process, Dword milliseconds) {
  return ::WaitForSingleObject(reinterpret_cast<HANDLE>(process.native()), milliseconds) == WAIT_OBJECT_0;
}

Dword CurrentProcessId() { return ::GetCurrentProcessId(); }

Dword ProcessId(const Process& process) { return ::GetProcessId(reinterpret_cast<HANDLE>(process.native())); }

bool TerminateProcess(const Process& process, Dword exitCode) {
  if (FaultHit(FaultOp::TerminateProcess)) return false;
  return ::TerminateProcess(reinterpret_cast<HANDLE>(process.native()), exitCode) != FALSE;
}

}  // namespace platform
