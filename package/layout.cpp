#include "package/layout.h"

#include <cstring>

namespace package {
namespace {

void DecodeUnits(const std::uint8_t* bytes, char16_t* units, std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
}

void EncodeUnits(const char16_t* units, std::uint32_t count, std::uint8_t* bytes) {
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes[2 * i] = static_cast<std::uint8_t>(units[i] & 0xFF);
    bytes[2 * i + 1] = static_cast<std::uint8_t>(units[i] >> 8);
  }
}

// Windows drops trailing dots and blanks from a component, so ".", "...",
// ". " and a blank name the folder itself or its parent, as "." and ".." do.
bool IsDotComponent(const std::string& component) {
  return !component.empty() && component.find_first_not_of(". ") == std::string::npos;
}

}  // namespace

const char16_t kIdentifier[16] = u"ZAM_UPDATE_FILE";

std::uint32_t ReadUint32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void WriteUint32(std::uint8_t* bytes, std::uint32_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
  bytes[2] = static_cast<std::uint8_t>(value >> 16);
  bytes[3] = static_cast<std::uint8_t>(value >> 24);
}

void DecodeHeader(const std::uint8_t* bytes, UpdateFileHeader* header) {
  DecodeUnits(bytes, header->Identifier, kIdentifierUnits);
  header->AppIndex = ReadUint32(bytes + 40);
  header->PackageType = ReadUint32(bytes + 44);
  header->FileTableOffset = ReadUint32(bytes + 48);
  std::memcpy(header->Checksum, bytes + 52, kChecksumSize);
  DecodeUnits(bytes + 68, header->Name, kTextUnits);
  DecodeUnits(bytes + 268, header->Detail, kTextUnits);
}

void EncodeHeader(const UpdateFileHeader& header, std::uint8_t* bytes) {
  EncodeUnits(header.Identifier, kIdentifierUnits, bytes);
  WriteUint32(bytes + 40, header.AppIndex);
  WriteUint32(bytes + 44, header.PackageType);
  WriteUint32(bytes + 48, header.FileTableOffset);
  std::memcpy(bytes + 52, header.Checksum, kChecksumSize);
  EncodeUnits(header.Name, kTextUnits, bytes + 68);
  EncodeUnits(header.Detail, kTextUnits, bytes + 268);
}

void DecodeChangeHead(const std::uint8_t* bytes, ChangeListHead* head) {
  head->ChangeListLength = ReadUint32(bytes);
  std::memcpy(head->Reserved, bytes + 4, kChangeHeadReserved);
}

void EncodeChangeHead(const ChangeListHead& head, std::uint8_t* bytes) {
  WriteUint32(bytes, head.ChangeListLength);
  std::memcpy(bytes + 4, head.Reserved, kChangeHeadReserved);
}

void DecodeChangeRecord(const std::uint8_t* bytes, ChangeRecord* record) {
  std::memcpy(record->Path, bytes, kPathSize);
  record->IsFolder = ReadUint32(bytes + 260);
  record->IsAdded = ReadUint32(bytes + 264);
  record->IsChanged = ReadUint32(bytes + 268);
  record->IsRemoved = ReadUint32(bytes + 272);
}

void EncodeChangeRecord(const ChangeRecord& record, std::uint8_t* bytes) {
  std::memcpy(bytes, record.Path, kPathSize);
  WriteUint32(bytes + 260, record.IsFolder);
  WriteUint32(bytes + 264, record.IsAdded);
  WriteUint32(bytes + 268, record.IsChanged);
  WriteUint32(bytes + 272, record.IsRemoved);
}

void DecodeFileRecord(const std::uint8_t* bytes, FileRecord* record) {
  record->Attributes = ReadUint32(bytes);
  std::memcpy(record->Path, bytes + 4, kPathSize);
  record->Size = ReadUint32(bytes + 264);
  record->StoredSize = ReadUint32(bytes + 268);
  record->Offset = ReadUint32(bytes + 272);
  record->IsAbsoluteOffset = ReadUint32(bytes + 276);
}

void EncodeFileRecord(const FileRecord& record, std::uint8_t* bytes) {
  WriteUint32(bytes, record.Attributes);
  std::memcpy(bytes + 4, record.Path, kPathSize);
  WriteUint32(bytes + 264, record.Size);
  WriteUint32(bytes + 268, record.StoredSize);
  WriteUint32(bytes + 272, record.Offset);
  WriteUint32(bytes + 276, record.IsAbsoluteOffset);
}

bool HasIdentifier(const UpdateFileHeader& header) {
  for (int i = 0; i < 16; ++i) {
    if (header.Identifier[i] != kIdentifier[i]) return false;
  }
  return true;
}

void SetIdentifier(UpdateFileHeader* header) {
  for (std::uint32_t i = 0; i < kIdentifierUnits; ++i) header->Identifier[i] = i < 16 ? kIdentifier[i] : u'\0';
}

std::u16string HeaderText(const char16_t (&text)[kTextUnits]) {
  std::uint32_t length = 0;
  while (length < kTextUnits && text[length] != u'\0') ++length;
  return std::u16string(text, length);
}

bool SetHeaderText(char16_t (&text)[kTextUnits], const std::u16string& value) {
  if (value.size() >= kTextUnits) return false;
  for (std::uint32_t i = 0; i < kTextUnits; ++i) text[i] = i < value.size() ? value[i] : u'\0';
  return true;
}

bool RecordPathText(const char (&path)[kPathSize], std::string* text) {
  const void* end = std::memchr(path, '\0', kPathSize);
  if (end == nullptr) return false;
  text->assign(path, static_cast<const char*>(end));
  return true;
}

bool SetRecordPath(char (&path)[kPathSize], const std::string& value) {
  if (value.size() >= kPathSize) return false;
  std::memset(path, 0, kPathSize);
  std::memcpy(path, value.data(), value.size());
  return true;
}

const char* RecordPathFault(const std::string& path) {
  static const char kLeaves[] = "leaves the destination";
  std::size_t start = (!path.empty() && path[0] == '\\') ? 1 : 0;
  if (start == path.size()) return kLeaves;
  if (path[start] == '\\') return kLeaves;
  if (path.find_first_of(":/") != std::string::npos) return kLeaves;
  bool device = false;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string component = path.substr(start, end - start);
    if (IsDotComponent(component)) return kLeaves;
    device = device || IsDeviceName(component);
    start = end + 1;
  }
  return device ? "names a device" : nullptr;
}

bool IsSafeRecordPath(const std::string& path) { return RecordPathFault(path) == nullptr; }

bool IsDeviceName(const std::string& component) {
  // The device is named by what comes before the first dot, trailing blanks dropped.
  std::string base = FoldPath(component.substr(0, component.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  if (base == "con" || base == "prn" || base == "aux" || base == "nul" || base == "conin$" || base == "conout$") {
    return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, "com") != 0 && base.compare(0, 3, "lpt") != 0)) return false;
  // Digits, and the superscript digits one to three of the system code page.
  unsigned char digit = static_cast<unsigned char>(base[3]);
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

std::string FoldPath(const std::string& path) {
  std::string folded = path;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

std::uint64_t StreamPosition(const FileRecord& record, std::uint32_t dataAreaStart) {
  return record.IsAbsoluteOffset != 0 ? record.Offset : static_cast<std::uint64_t>(dataAreaStart) + record.Offset;
}

}  // namespace package
