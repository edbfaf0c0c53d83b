#pragma once
// A package as zampack lays it out before writing: header fields, the two
// tables and each delivered file's content, turned into the package's bytes.
#include <cstdint>
#include <filesystem>
#include <fstream>
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
  // The zlib stream made beforehand (record.Size set by the maker); `content` is then unused.
  bool haveStream = false;
  std::string stream;
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

// Why the device cannot take a header text as it is given, or empty when it
// can: a text with a character outside its 8-bit code page reads as empty
// there; a package Name that is a folder must stay below the location.
std::string NameFault(std::uint32_t type, const std::u16string& name);
std::string DetailFault(const std::u16string& detail);

// Lays the package out, compresses the contents and sets the checksum.
// False (with `error`) when the package would reach 4 GiB or a stream
// cannot be made.
bool EncodeImage(PackageImage& image, std::string* bytes, std::string* error);

// Sets the header's Checksum of encoded package bytes to the MD5 of their
// body again, after the bytes were changed by hand; shorter bytes stay as they are.
void SealPackageBytes(std::string& bytes);

// Host paths are UTF-8 text in zampack on every system, as its arguments are
// (on Windows through its manifest's code page); std::filesystem takes and
// gives them through these, since its own narrow text on Windows is not UTF-8.
std::filesystem::path HostPath(const std::string& utf8);
std::string HostText(const std::filesystem::path& path);

// Whole content of a host file; false, with the path and the system's
// reason in `error` when given, when it cannot be read.
bool ReadHostFile(const std::string& path, std::string* bytes, std::string* error = nullptr);

// A host file read in order, each failure with the path and the system's reason.
class HostFile {
 public:
  bool Open(const std::string& path, std::string* error);
  bool Seek(std::uint64_t offset, std::string* error);
  // Exactly `size` bytes; a file that ends early has changed while it was read.
  bool Read(char* data, std::size_t size, std::string* error);

 private:
  std::ifstream in_;
  std::string path_;
};

}  // namespace zampack
