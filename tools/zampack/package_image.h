#pragma once
// A package as zampack lays it out before writing: header fields, the two
// tables and each delivered file's content, turned into the package's bytes.
#include <cstdint>
#include <string>
#include <vector>

#include "package/layout.h"

namespace zampack {

// One file record and what goes into the data area for it.
struct DeliveredFile {
  package::FileRecord record{};
  std::string content;
  // Stored as is instead of as a zlib stream.
  bool storeRaw = false;
  // Fields left to the layout; false when the manifest sets them by hand.
  bool autoSize = true;
  bool autoStoredSize = true;
  bool autoOffset = true;
};

struct PackageImage {
  package::UpdateFileHeader header{};
  std::vector<package::ChangeRecord> changes;
  std::vector<DeliveredFile> files;
  // Zero bytes between the change list and the file-table block.
  std::uint32_t padding = 0;
  bool autoChecksum = true;
  bool autoFileTableOffset = true;
  // Hand-set table lengths, for packages whose lengths lie.
  bool autoChangeListLength = true;
  std::uint32_t changeListLength = 0;
  bool autoFileTableLength = true;
  std::uint32_t fileTableLength = 0;
};

// A header with the identifier, the type and the two texts; false when a
// text does not fit.
bool StartImage(PackageImage* image, std::uint32_t type, const std::u16string& name, const std::u16string& detail,
                std::string* error);

// Lays the package out, compresses the contents and sets the checksum.
// False (with `error`) when the package would reach 4 GiB or a stream
// cannot be made.
bool EncodeImage(PackageImage& image, std::string* bytes, std::string* error);

// Sets the header's Checksum of encoded package bytes to the MD5 of their
// body again, after the bytes were changed by hand; shorter bytes stay as they are.
void SealPackageBytes(std::string& bytes);

// The change and file records of a whole tree, as build and diff make them.
struct TreeEntry {
  std::string path;  // device form: "\sub\name", 8-bit
  std::string hostPath;
  bool isFolder = false;
  std::uint32_t attributes = 0;
};

// Every file and folder under `root`, parents before children, names in
// byte order at each level; false when a name cannot be a device name.
bool ScanTree(const std::string& root, std::vector<TreeEntry>* entries, std::string* error);

bool ReadHostFile(const std::string& path, std::string* bytes);

// Adds a change record and, for a file that is added or changed, its delivered file.
bool AddEntry(PackageImage* image, const TreeEntry& entry, bool added, bool changed, bool removed, std::string* error);

}  // namespace zampack
