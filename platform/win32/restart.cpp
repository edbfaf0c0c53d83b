#include "platform/restart.h"

#include <windows.h>

#include "platform/fault.h"

namespace platform {
namespace {

constexpr char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

// "\??\C:\x" as the system stores it, "!" in front of a target it may replace.
std::string DevicePath(std::string text) {
  if (!text.empty() && text[0] == '!') text.erase(0, 1);
  if (text.rfind("\\??\\", 0) == 0) text.erase(0, 4);
  return text;
}

}  // namespace

bool DeleteAtRestart(const std::string& path) {
  if (FaultHit(FaultOp::DeleteAtRestart)) return false;
  return ::MoveFileExA(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool MoveAtRestart(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::MoveAtRestart)) return false;
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}

bool ListPendingOperations(std::vector<PendingOperation>* operations) {
  operations->clear();
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  DWORD type = 0;
  DWORD size = 0;
  LSTATUS status = ::RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size);
  std::string data(size, '\0');
  if (status == ERROR_SUCCESS && size > 0) {
    status = ::RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  }
  ::RegCloseKey(key);
  if (status == ERROR_FILE_NOT_FOUND) return true;
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return false;
  }
  // REG_MULTI_SZ: pairs of source and target, an empty target for a delete.
  std::vector<std::string> strings;
  std::size_t start = 0;
  while (start < data.size()) {
    std::size_t end = data.find('\0', start);
    if (end == std::string::npos) end = data.size();
    strings.push_back(data.substr(start, end - start));
    start = end + 1;
  }
  for (std::size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i].empty()) break;
    PendingOperation op;
    op.from = DevicePath(strings[i]);
    op.to = DevicePath(strings[i + 1]);
    op.isDelete = op.to.empty();
    operations->push_back(op);
  }
  return true;
}

bool ClearPendingOperations() {
  HKEY key = nullptr;
  LSTATUS status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key);
  if (status == ERROR_SUCCESS) {
    status = ::RegDeleteValueA(key, kPendingValue);
    ::RegCloseKey(key);
  }
  if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
    ::SetLastError(static_cast<DWORD>(status));
    return false;
  }
  return true;
}

void RecordRestart() {}

bool MoveNow(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::MoveNow)) return false;
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool ReplaceNow(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::ReplaceNow)) return false;
  // Windows refuses to replace a read-only file; Wine replaces it, and drops
  // its attributes with it. The rule is kept here.
  DWORD attributes = ::GetFileAttributesA(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

}  // namespace platform
