#include "platform/environment.h"

#include <cstdlib>
#include <cstring>

#include "platform/posix/sim_device.h"

extern char** environ;

namespace platform {
namespace {

// Values the device has where the host has none.
struct Default {
  const char* name;
  const char* value;
};
constexpr Default kDefaults[] = {
    {"SYSTEMROOT", "C:\\Windows"},
    {"ProgramData", "C:\\ProgramData"},
};

bool Lookup(const std::string& name, std::string* value) {
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    if (sim::EqualsIgnoreCase(std::string(*entry, static_cast<std::size_t>(equals - *entry)), name)) {
      *value = equals + 1;
      return true;
    }
  }
  for (const Default& d : kDefaults) {
    if (sim::EqualsIgnoreCase(d.name, name)) {
      *value = d.value;
      return true;
    }
  }
  return false;
}

}  // namespace

std::string ExpandEnvironment(const std::string& text) {
  std::string result;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t open = text.find('%', i);
    if (open == std::string::npos) break;
    std::size_t close = text.find('%', open + 1);
    if (close == std::string::npos) break;
    result.append(text, i, open - i);
    std::string value;
    std::string name = text.substr(open + 1, close - open - 1);
    // An unknown name stays as written, both '%' included.
    result += (!name.empty() && Lookup(name, &value)) ? value : text.substr(open, close - open + 1);
    i = close + 1;
  }
  result.append(text, i, std::string::npos);
  return result;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
  if (setenv(name.c_str(), value.c_str(), 1) != 0) return sim::FailFromErrno();
  return true;
}

}  // namespace platform
