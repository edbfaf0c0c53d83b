#pragma once
// zampack version: writes and shows the version files of content items
// through the device's own version records.

namespace zampack {

extern const char kVersionHelp[];

// "zampack version write|show ..."; the exit code.
int VersionCommand(int argc, char** argv);

}  // namespace zampack
