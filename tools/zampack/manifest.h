#pragma once
// The manifest form: a text file that sets every field of a package by hand.
#include <string>

#include "tools/zampack/package_image.h"

namespace zampack {

extern const char* const kManifestHelp;

// Reads the manifest at `path`; `source=` files are found relative to its folder.
bool ParseManifest(const std::string& path, PackageImage* image, std::string* error);

// A type by name (case-insensitive) or by number; false when it is neither.
bool ParseType(const std::string& text, std::uint32_t* type);

}  // namespace zampack
