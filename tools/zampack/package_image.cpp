#include "tools/zampack/package_image.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "package/md5.h"
#include "platform/file.h"
#include "platform/text.h"

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

bool ScanFolder(const fs::path& folder, const std::string& prefix, std::vector<TreeEntry>* entries,
                std::string* error) {
  std::vector<std::pair<std::string, fs::directory_entry>> children;
  std::error_code code;
  for (const fs::directory_entry& child : fs::directory_iterator(folder, code)) {
    std::string name = platform::WideToNarrow(child.path().filename().u16string());
    if (name.empty()) {
      *error = "name not representable on the device: " + child.path().string();
      return false;
    }
    children.emplace_back(name, child);
  }
  if (code) {
    *error = "cannot read folder " + folder.string() + ": " + code.message();
    return false;
  }
  std::sort(children.begin(), children.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [name, child] : children) {
    TreeEntry entry;
    entry.path = prefix + "\\" + name;
    entry.hostPath = child.path().string();
    entry.isFolder = child.is_directory();
    if (!entry.isFolder && !child.is_regular_file()) {
      *error = "neither file nor folder: " + entry.hostPath;
      return false;
    }
    bool readOnly = (child.status().permissions() & fs::perms::owner_write) == fs::perms::none;
    entry.attributes = readOnly ? platform::kAttributeReadOnly : platform::kAttributeNormal;
    entries->push_back(entry);
    if (entry.isFolder && !ScanFolder(child.path(), entry.path, entries, error)) return false;
  }
  return true;
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

bool EncodeImage(PackageImage& image, std::string* bytes, std::string* error) {
  std::vector<std::string> streams;
  for (DeliveredFile& file : image.files) {
    std::string stream;
    if (file.storeRaw) {
      stream = file.content;
    } else if (!file.content.empty() && !Compress(file.content, &stream)) {
      *error = "cannot compress the content of a file record";
      return false;
    }
    if (file.autoSize) file.record.Size = static_cast<std::uint32_t>(file.content.size());
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

  std::string body;
  body.reserve(static_cast<std::size_t>(dataAreaStart + dataBytes - kHeaderSize));
  package::ChangeListHead head{};
  head.ChangeListLength = image.changeListLength;
  std::uint8_t block[package::kFileRecordSize];
  package::EncodeChangeHead(head, block);
  Append(&body, block, package::kChangeHeadSize);
  for (const package::ChangeRecord& change : image.changes) {
    package::EncodeChangeRecord(change, block);
    Append(&body, block, kChangeRecordSize);
  }
  body.append(image.padding, '\0');
  package::WriteUint32(block, image.fileTableLength);
  Append(&body, block, 4);
  for (const DeliveredFile& file : image.files) {
    package::EncodeFileRecord(file.record, block);
    Append(&body, block, kFileRecordSize);
  }
  for (const std::string& stream : streams) body += stream;

  if (image.autoChecksum) {
    package::Md5Context context;
    package::Md5Init(&context);
    package::Md5Update(&context, body.data(), body.size());
    package::Md5Final(image.header.Checksum, &context);
  }
  std::uint8_t header[kHeaderSize];
  package::EncodeHeader(image.header, header);
  bytes->assign(reinterpret_cast<const char*>(header), kHeaderSize);
  *bytes += body;
  return true;
}

bool ScanTree(const std::string& root, std::vector<TreeEntry>* entries, std::string* error) {
  std::error_code code;
  if (!fs::is_directory(root, code)) {
    *error = "not a folder: " + root;
    return false;
  }
  return ScanFolder(fs::path(root), "", entries, error);
}

bool ReadHostFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool AddEntry(PackageImage* image, const TreeEntry& entry, bool added, bool changed, bool removed,
              std::string* error) {
  package::ChangeRecord change{};
  if (!package::SetRecordPath(change.Path, entry.path)) {
    *error = "path longer than 259 characters: " + entry.path;
    return false;
  }
  change.IsFolder = entry.isFolder ? 1 : 0;
  change.IsAdded = added ? 1 : 0;
  change.IsChanged = changed ? 1 : 0;
  change.IsRemoved = removed ? 1 : 0;
  image->changes.push_back(change);
  if (entry.isFolder || !(added || changed)) return true;

  DeliveredFile file;
  package::SetRecordPath(file.record.Path, entry.path);
  file.record.Attributes = entry.attributes;
  if (!ReadHostFile(entry.hostPath, &file.content)) {
    *error = "cannot read " + entry.hostPath;
    return false;
  }
  if (file.content.size() > kLimit) {
    *error = "file too large for a package: " + entry.hostPath;
    return false;
  }
  image->files.push_back(std::move(file));
  return true;
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
