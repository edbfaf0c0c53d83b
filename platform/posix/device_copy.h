#pragma once
// A whole simulated device copied on the host, for a run that must leave the
// device itself alone: only the simulator's own commands use it.
#include <string>

namespace platform::sim {

// Copies the device folder `from` into the new folder `to` as the device
// sees it: a drive folder that is a host link is copied as the folder it
// names; a link inside the device stays a link, and one that names a place
// in the device names the same place in the copy; names are carried as the
// bytes they are; a sparse file stays sparse (its holes are not written);
// modes, times and the stored attributes come along. False with what could
// not be copied and the system's reason in `problem`.
bool CopyDevice(const std::string& from, const std::string& to, std::string* problem);

}  // namespace platform::sim
