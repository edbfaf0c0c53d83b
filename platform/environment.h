#pragma once
// Environment strings.
#include <string>

namespace platform {

// ExpandEnvironmentStrings: every %NAME% of a defined variable is replaced by
// its value (names without regard to letter case); other text stays as it is.
std::string ExpandEnvironment(const std::string& text);

// SetEnvironmentVariable: for this process and the programs it starts.
bool SetEnvironmentValue(const std::string& name, const std::string& value);

}  // namespace platform
