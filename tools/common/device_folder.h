#pragma once
// A device as a folder on the host, as the release tools see it: one folder
// per drive (DEVICE/C/...), the update tool's descriptor with the location
// of each package type, names found without regard to letter case.
#include <filesystem>
#include <string>
#include <vector>

namespace tools {

// ASCII letters in lower case, for names compared as the device compares them.
std::string FoldCase(std::string text);

// The host path of a device path "C:\A\B" (or "C:\A\B\") below `root`; a
// component matches an existing entry without regard to letter case.
std::filesystem::path HostPathOf(const std::filesystem::path& root, const std::string& devicePath);

// The descriptor of the update tool's folder (C:\Orvanta\Update\UpdateInfo.xml).
extern const char* const kDescriptorPath;

// Each package type's name and the location orvanta-sim init gives it.
extern const char* const kDefaultLocations[18][2];

// The 18 locations of the device's descriptor, in type order (8-bit device
// text); false when there is no descriptor or it cannot be read.
bool ReadLocations(const std::filesystem::path& root, std::vector<std::string>* locations);

// The descriptor's locations, or those of orvanta-sim init without one.
std::vector<std::string> LocationsOf(const std::filesystem::path& root);

}  // namespace tools
