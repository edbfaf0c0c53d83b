#include "platform/process_list.h"

#include <windows.h>

#include <tlhelp32.h>

#include "platform/fault.h"

namespace platform {

bool ListProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  if (FaultHit(FaultOp::ListProcesses)) return false;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot, &entry); more; more = ::Process32Next(snapshot, &entry)) {
    processes->push_back(ProcessEntry{entry.th32ProcessID, entry.szExeFile});
  }
  DWORD error = ::GetLastError();
  ::CloseHandle(snapshot);
  // The walk ends with ERROR_NO_MORE_FILES; anything else cut it short.
  if (error != ERROR_NO_MORE_FILES) {
    ::SetLastError(error);
    return false;
  }
  return true;
}

std::string OwnProgramPath() {
  char path[MAX_PATH] = "";
  DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof(path));
  if (length == 0 || length >= sizeof(path)) return std::string();
  return std::string(path, length);
}

}  // namespace platform
