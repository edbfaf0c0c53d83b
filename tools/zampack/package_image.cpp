#include "tools/zampack/package_image.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "package/md5.h"
#include "package/package.h"
#include "platform/file.h"
#include "platform/text.h"
#include "version/package_type.h"

namespace zampack {
namespace {

namespace fs = std::filesystem;
using package::kChangeRecordSize;
using package::kFileRecordSize;
using package::kHeaderSize;

constexpr std::uint64_t kLimit = 0xFFFFFFFF;

bool Compress(const std::string& content, std::string* stream) {
  uLongf length = compressBound(static_cast<uLong>(content.size()));
  stream->resize(length);
  int result = compress2(reinterpret_cast<Bytef*>(stream->data()), &length,
                         reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size()),
                         Z_BEST_COMPRESSION);
  if (result != Z_OK) return false;
  stream->resize(length);
  return true;
}

void Append(std::string* bytes, const std::uint8_t* data, std::size_t size) {
  bytes->append(reinterpret_cast<const char*>(data), size);
}

}  // namespace

bool StartImage(PackageImage* image, std::uint32_t type, const std::u16string& name, const std::u16string& detail,
                std::string* error) {
  package::SetIdentifier(&image->header);
  image->header.PackageType = type;
  if (!package::SetHeaderText(image->header.Name, name)) {
    *error = "the name is longer than 99 characters";
    return false;
  }
  if (!package::SetHeaderText(image->header.Detail, detail)) {
    *error = "the detail is longer than 99 characters";
    return false;
  }
  return true;
}

namespace {

bool Narrowable(const std::u16string& text) {
  for (char16_t unit : text) {
    if (unit > 0xFF) return false;
  }
  return true;
}

}  // namespace

std::string NameFault(std::uint32_t type, const std::u16string& name) {
  std::string shown = "Name \"" + platform::WideToUtf8(name) + "\"";
  bool folder = package::NameIsFolder(type);
  if (!Narrowable(name)) {
    return shown + " has characters outside the device's 8-bit code page (Latin-1); the device reads it as empty" +
           (folder ? " and would put the files straight into the type's location folder instead of a folder of "
                     "that name"
                   : " and shows the package without a name");
  }
  std::string narrow = platform::WideToNarrow(name);
  if (folder && !narrow.empty() && !package::IsSafeRecordPath(narrow)) {
    return shown + " would leave the type's location folder; the device refuses the package";
  }
  // A language is one folder of its own below the languages' location.
  if (type == version::LANGUAGE_PACKAGE && narrow.empty()) {
    return shown + " is empty: a LANGUAGE_PACKAGE's Name is its language's folder, and the device would put "
                   "its files straight into the languages' location";
  }
  if (type == version::LANGUAGE_PACKAGE && narrow.find('\\') != std::string::npos) {
    return shown + " holds a backslash: a LANGUAGE_PACKAGE's Name is one folder, its language's";
  }
  return std::string();
}

std::string DetailFault(const std::u16string& detail) {
  if (Narrowable(detail)) return std::string();
  return "Detail \"" + platform::WideToUtf8(detail) +
         "\" has characters outside the device's 8-bit code page (Latin-1); the device reads it as empty";
}

bool EncodeImage(PackageImage& image, std::string* bytes, std::string* error) {
  std::vector<std::string> streams;
  for (DeliveredFile& file : image.files) {
    std::string stream;
    if (file.haveStream) {
      stream = std::move(file.stream);
      file.stream.clear();
    } else if (file.storeRaw) {
      stream = file.content;
    } else if (!file.content.empty() && !Compress(file.content, &stream)) {
      *error = "cannot compress the content of a file record";
      return false;
    }
    if (file.autoSize && !file.haveStream) file.record.Size = static_cast<std::uint32_t>(file.content.size());
    if (file.autoStoredSize) file.record.StoredSize = static_cast<std::uint32_t>(stream.size());
    streams.push_back(std::move(stream));
  }

  std::uint64_t changeBytes = static_cast<std::uint64_t>(image.changes.size()) * kChangeRecordSize;
  std::uint64_t tableBytes = static_cast<std::uint64_t>(image.files.size()) * kFileRecordSize;
  std::uint64_t tablePosition = package::kChangeListStart + changeBytes + image.padding;
  std::uint64_t dataAreaStart = tablePosition + 4 + tableBytes;
  std::uint64_t dataBytes = 0;
  for (const std::string& stream : streams) dataBytes += stream.size();
  if (dataAreaStart + dataBytes > kLimit) {
    *error = "the package would not stay below 4 GiB";
    return false;
  }
  if (image.autoFileTableOffset) image.header.FileTableOffset = static_cast<std::uint32_t>(tablePosition - kHeaderSize);
  if (image.autoChangeListLength) image.changeListLength = static_cast<std::uint32_t>(changeBytes);
  if (image.autoFileTableLength) image.fileTableLength = static_cast<std::uint32_t>(tableBytes);

  std::uint64_t streamPosition = dataAreaStart;
  for (DeliveredFile& file : image.files) {
    if (file.autoOffset) {
      std::uint64_t offset = file.record.IsAbsoluteOffset != 0 ? streamPosition : streamPosition - dataAreaStart;
      // An empty file has no stream; its offset stays 0.
      file.record.Offset = file.record.Size == 0 && file.content.empty() ? 0 : static_cast<std::uint32_t>(offset);
    }
    streamPosition += file.record.StoredSize;
  }

  // The header goes in front once the checksum over the body is known.
  std::string& out = *bytes;
  out.assign(kHeaderSize, '\0');
  out.reserve(static_cast<std::size_t>(dataAreaStart + dataBytes));
  package::ChangeListHead head{};
  head.ChangeListLength = image.changeListLength;
  std::uint8_t block[package::kFileRecordSize];
  package::EncodeChangeHead(head, block);
  Append(&out, block, package::kChangeHeadSize);
  for (const package::ChangeRecord& change : image.changes) {
    package::EncodeChangeRecord(change, block);
    Append(&out, block, kChangeRecordSize);
  }
  out.append(image.padding, '\0');
  package::WriteUint32(block, image.fileTableLength);
  Append(&out, block, 4);
  for (const DeliveredFile& file : image.files) {
    package::EncodeFileRecord(file.record, block);
    Append(&out, block, kFileRecordSize);
  }
  for (std::string& stream : streams) {
    out += stream;
    std::string().swap(stream);
  }

  if (image.autoChecksum) {
    package::Md5Context context;
    package::Md5Init(&context);
    package::Md5Update(&context, out.data() + kHeaderSize, out.size() - kHeaderSize);
    package::Md5Final(image.header.Checksum, &context);
  }
  std::uint8_t header[kHeaderSize];
  package::EncodeHeader(image.header, header);
  out.replace(0, kHeaderSize, reinterpret_cast<const char*>(header), kHeaderSize);
  return true;
}

std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string HostText(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool ReadHostFile(const std::string& path, std::string* bytes, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  HostFile file;
  std::error_code code;
  std::uint64_t size = std::filesystem::file_size(HostPath(path), code);
  if (code) {
    *error = path + ": " + code.message();
    return false;
  }
  if (!file.Open(path, error)) return false;
  bytes->resize(static_cast<std::size_t>(size));
  return file.Read(bytes->data(), bytes->size(), error);
}

bool HostFile::Open(const std::string& path, std::string* error) {
  path_ = path;
  errno = 0;
  in_.open(path, std::ios::binary);
  if (!in_) {
    *error = path + ": " + (errno != 0 ? std::strerror(errno) : "cannot be opened");
    return false;
  }
  return true;
}

bool HostFile::Seek(std::uint64_t offset, std::string* error) {
  in_.seekg(static_cast<std::streamoff>(offset));
  if (!in_) {
    *error = path_ + ": cannot seek to " + std::to_string(offset);
    return false;
  }
  return true;
}

bool HostFile::Read(char* data, std::size_t size, std::string* error) {
  errno = 0;
  in_.read(data, static_cast<std::streamsize>(size));
  if (static_cast<std::size_t>(in_.gcount()) == size) return true;
  if (in_.eof()) {
    *error = path_ + ": the file became shorter while it was read";
  } else {
    *error = path_ + ": " + (errno != 0 ? std::strerror(errno) : "read error");
  }
  return false;
}

void SealPackageBytes(std::string& bytes) {
  if (bytes.size() < package::kHeaderSize) return;
  package::Md5Context context;
  package::Md5Init(&context);
  package::Md5Update(&context, bytes.data() + package::kHeaderSize, bytes.size() - package::kHeaderSize);
  std::uint8_t digest[package::kChecksumSize];
  package::Md5Final(digest, &context);
  // The Checksum field: behind the identifier (40 bytes) and three 32-bit fields.
  bytes.replace(52, package::kChecksumSize, reinterpret_cast<const char*>(digest), package::kChecksumSize);
}

}  // namespace zampack
