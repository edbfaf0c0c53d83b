#include "platform/environment.h"

#include <windows.h>

namespace platform {

std::string ExpandEnvironment(const std::string& text) {
  DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return text;
  std::string buffer(needed, '\0');
  DWORD length = ::ExpandEnvironmentStringsA(text.c_str(), buffer.data(), needed);
  if (length == 0 || length > needed) return text;
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

bool SetEnvironmentValue(const std::string& name, const std::string& value) {
  return ::SetEnvironmentVariableA(name.c_str(), value.c_str()) != FALSE;
}

}  // namespace platform
