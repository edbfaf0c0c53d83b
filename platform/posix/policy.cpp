// Per-user policy values of the simulated device, one per line of
// sim/policy.tsv: "HKCU\KEY<TAB>NAME<TAB>VALUE" (decimal). A written value
// is an event of the device's timeline.
#include "platform/policy.h"

#include <cstdlib>
#include <map>
#include <vector>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

constexpr const char* kPolicyFile = "policy.tsv";

// The keys this process holds open, by handle value.
std::map<std::intptr_t, std::string>& OpenKeys() {
  static std::map<std::intptr_t, std::string> keys;
  return keys;
}

bool KeyName(const PolicyKey& key, std::string* name) {
  auto found = OpenKeys().find(key.native());
  if (found == OpenKeys().end()) return sim::Fail(kErrorInvalidHandle);
  *name = found->second;
  return true;
}

bool SplitLine(const std::string& line, std::string* key, std::string* name, std::string* value) {
  std::size_t first = line.find('\t');
  std::size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
  if (second == std::string::npos) return false;
  *key = line.substr(0, first);
  *name = line.substr(first + 1, second - first - 1);
  *value = line.substr(second + 1);
  return true;
}

}  // namespace

void ClosePolicyKey(std::intptr_t native) { OpenKeys().erase(native); }

PolicyKey OpenUserPolicyKey(const std::string& subkey) {
  if (FaultHit(FaultOp::OpenPolicyKey)) return PolicyKey();
  if (subkey.empty() || subkey.find('\t') != std::string::npos) {
    sim::Fail(kErrorInvalidParameter);
    return PolicyKey();
  }
  static std::intptr_t next = 0;
  OpenKeys()[++next] = "HKCU\\" + subkey;
  return PolicyKey(next);
}

bool ReadPolicyValue(const PolicyKey& key, const std::string& name, Dword* value) {
  if (FaultHit(FaultOp::ReadPolicyValue)) return false;
  std::string keyName;
  if (!KeyName(key, &keyName)) return false;
  for (const std::string& line : sim::ReadSimLines(kPolicyFile)) {
    std::string lineKey, lineName, text;
    if (!SplitLine(line, &lineKey, &lineName, &text)) continue;
    if (sim::EqualsIgnoreCase(lineKey, keyName) && sim::EqualsIgnoreCase(lineName, name)) {
      *value = static_cast<Dword>(std::strtoul(text.c_str(), nullptr, 10));
      return true;
    }
  }
  return sim::Fail(kErrorFileNotFound);
}

bool WritePolicyValue(const PolicyKey& key, const std::string& name, Dword value) {
  if (FaultHit(FaultOp::WritePolicyValue)) return false;
  std::string keyName;
  if (!KeyName(key, &keyName)) return false;
  if (name.find('\t') != std::string::npos) return sim::Fail(kErrorInvalidParameter);
  std::vector<std::string> lines;
  for (const std::string& line : sim::ReadSimLines(kPolicyFile)) {
    std::string lineKey, lineName, text;
    if (SplitLine(line, &lineKey, &lineName, &text) && sim::EqualsIgnoreCase(lineKey, keyName) &&
        sim::EqualsIgnoreCase(lineName, name)) {
      continue;
    }
    lines.push_back(line);
  }
  lines.push_back(keyName + "\t" + name + "\t" + std::to_string(value));
  if (!sim::WriteSimLines(kPolicyFile, lines)) return false;
  sim::RecordEvent("policy-write", keyName + "\\" + name + " = " + std::to_string(value) + " (REG_DWORD)");
  return true;
}

}  // namespace platform
