#include "platform/policy.h"

#include <windows.h>

#include "platform/fault.h"

namespace platform {

void ClosePolicyKey(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::RegCloseKey(reinterpret_cast<HKEY>(native));
  ::SetLastError(saved);
}

PolicyKey OpenUserPolicyKey(const std::string& subkey) {
  if (FaultHit(FaultOp::OpenPolicyKey)) return PolicyKey();
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return PolicyKey();
  }
  return PolicyKey(reinterpret_cast<std::intptr_t>(key));
}

bool ReadPolicyValue(const PolicyKey& key, const std::string& name, Dword* value) {
  if (FaultHit(FaultOp::ReadPolicyValue)) return false;
  DWORD data = 0;
  DWORD size = sizeof(data);
  LONG status = ::RegQueryValueExA(reinterpret_cast<HKEY>(key.native()), name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&data), &size);
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return false;
  }
  *value = data;
  return true;
}

bool WritePolicyValue(const PolicyKey& key, const std::string& name, Dword value) {
  if (FaultHit(FaultOp::WritePolicyValue)) return false;
  DWORD data = value;
  LONG status = ::RegSetValueExA(reinterpret_cast<HKEY>(key.native()), name.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&data), sizeof(data));
  if (status != ERROR_SUCCESS) {
    ::SetLastError(static_cast<DWORD>(status));
    return false;
  }
  return true;
}

}  // namespace platform
