#pragma once
// Per-user policy values: DWORD values under a key of HKEY_CURRENT_USER.
// The simulator keeps them in sim/policy.tsv (a value is absent until set).
#include <cstdint>
#include <string>

#include "platform/errors.h"
#include "platform/handle.h"

namespace platform {

void ClosePolicyKey(std::intptr_t native);

// An open registry key; invalid as null.
using PolicyKey = Handle<ClosePolicyKey, 0>;

// RegCreateKeyExA under HKEY_CURRENT_USER: the key is created when absent,
// non-volatile, opened to query and set values.
PolicyKey OpenUserPolicyKey(const std::string& subkey);

// RegQueryValueExA into a 32-bit value (4 bytes; the stored type is not
// checked). A missing value fails with kErrorFileNotFound; `value` is then
// untouched.
bool ReadPolicyValue(const PolicyKey& key, const std::string& name, Dword* value);

// RegSetValueExA as REG_DWORD.
bool WritePolicyValue(const PolicyKey& key, const std::string& name, Dword value);

}  // namespace platform
