#pragma once
// The fixed layouts of an update package, decoded and encoded field by field
// (all integers unsigned 32-bit little-endian), for the reader on the device
// and for the tools that build and check packages.
#include <cstdint>
#include <string>

namespace package {

constexpr std::uint32_t kHeaderSize = 468;
constexpr std::uint32_t kChangeHeadSize = 204;
// Where the change list starts: behind the header and the change-list head.
constexpr std::uint32_t kChangeListStart = kHeaderSize + kChangeHeadSize;
constexpr std::uint32_t kChangeRecordSize = 276;
constexpr std::uint32_t kFileRecordSize = 280;
constexpr std::uint32_t kPathSize = 260;
constexpr std::uint32_t kIdentifierUnits = 20;
constexpr std::uint32_t kTextUnits = 100;
constexpr std::uint32_t kChecksumSize = 16;
constexpr std::uint32_t kChangeHeadReserved = 200;

struct UpdateFileHeader {
  char16_t Identifier[kIdentifierUnits];
  std::uint32_t AppIndex;
  std::uint32_t PackageType;
  // Position of the file-table block, counted from kHeaderSize.
  std::uint32_t FileTableOffset;
  std::uint8_t Checksum[kChecksumSize];
  char16_t Name[kTextUnits];
  char16_t Detail[kTextUnits];
};

struct ChangeListHead {
  std::uint32_t ChangeListLength;
  std::uint8_t Reserved[kChangeHeadReserved];
};

struct ChangeRecord {
  char Path[kPathSize];
  std::uint32_t IsFolder;
  std::uint32_t IsAdded;
  std::uint32_t IsChanged;
  std::uint32_t IsRemoved;
};

struct FileRecord {
  std::uint32_t Attributes;
  char Path[kPathSize];
  std::uint32_t Size;
  std::uint32_t StoredSize;
  std::uint32_t Offset;
  std::uint32_t IsAbsoluteOffset;
};

// The in-memory copies keep the file's layout.
static_assert(sizeof(UpdateFileHeader) == kHeaderSize);
static_assert(sizeof(ChangeListHead) == kChangeHeadSize);
static_assert(sizeof(ChangeRecord) == kChangeRecordSize);
static_assert(sizeof(FileRecord) == kFileRecordSize);

std::uint32_t ReadUint32(const std::uint8_t* bytes);
void WriteUint32(std::uint8_t* bytes, std::uint32_t value);

// Each takes or fills exactly the record's size in bytes.
void DecodeHeader(const std::uint8_t* bytes, UpdateFileHeader* header);
void EncodeHeader(const UpdateFileHeader& header, std::uint8_t* bytes);
void DecodeChangeHead(const std::uint8_t* bytes, ChangeListHead* head);
void EncodeChangeHead(const ChangeListHead& head, std::uint8_t* bytes);
void DecodeChangeRecord(const std::uint8_t* bytes, ChangeRecord* record);
void EncodeChangeRecord(const ChangeRecord& record, std::uint8_t* bytes);
void DecodeFileRecord(const std::uint8_t* bytes, FileRecord* record);
void EncodeFileRecord(const FileRecord& record, std::uint8_t* bytes);

// "ZAM_UPDATE_FILE" and its NUL; the four units behind it are free.
extern const char16_t kIdentifier[16];
bool HasIdentifier(const UpdateFileHeader& header);
void SetIdentifier(UpdateFileHeader* header);

// A header text up to its first NUL (all 100 units when it has none).
std::u16string HeaderText(const char16_t (&text)[kTextUnits]);
// Sets a header text, NUL-padded; false when it does not fit with its NUL.
bool SetHeaderText(char16_t (&text)[kTextUnits], const std::u16string& value);

// A record path up to its NUL; false when its 260 bytes hold none.
bool RecordPathText(const char (&path)[kPathSize], std::string* text);
// Sets a record path, NUL-padded; false when it does not fit with its NUL.
bool SetRecordPath(char (&path)[kPathSize], const std::string& value);

// Why `path`, taken below a destination folder, does not name an entry
// inside it, or null when it does. It must not be empty, have a component of
// dots and blanks only (".", "..", and what Windows trims to them), a drive
// or other colon, a forward slash or a leading double backslash; one leading
// backslash is allowed. No component may be a reserved device name (CON,
// NUL, COM1, LPT1.log, ...), which the device opens as the device itself.
const char* RecordPathFault(const std::string& path);
bool IsSafeRecordPath(const std::string& path);

// True when `component` is a reserved device name in any letter case, with
// or without an extension and trailing dots or blanks.
bool IsDeviceName(const std::string& component);

// ASCII letters lower-cased, every other byte kept: the key under which
// record paths are compared.
std::string FoldPath(const std::string& path);

// Where a record's stream starts: `Offset` itself, or counted from the data area.
std::uint64_t StreamPosition(const FileRecord& record, std::uint32_t dataAreaStart);

}  // namespace package
