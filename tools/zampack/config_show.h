#pragma once
// zampack config show: the device service's configuration file as the device
// library reads it, for the people who prepare it.
#include <ostream>
#include <string>

namespace zampack {

extern const char* const kConfigHelp;

// Loads `path` with the library's CreateServiceConfig and prints what it
// holds, readable or (`json`) as one JSON document, with the controllers the
// library drops and why. False, with the reason on `errors`, when Load fails.
bool ShowServiceConfig(const std::string& path, bool json, std::ostream& out, std::ostream& errors);

}  // namespace zampack
