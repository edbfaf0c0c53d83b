#include "version/version_info.h"

#include "platform/text.h"

namespace version {

using platform::NarrowToWide;
using platform::WideToNarrow;

namespace {

const char16_t kVersionFileName[] = u"Version.xml";

// The name and part number getters give 0 for an empty text.
int CopyNonEmpty(const std::u16string& text, char16_t* buffer, int capacity) {
  return text.empty() ? 0 : CopyText(text, buffer, capacity);
}

int CopyNonEmpty(const std::u16string& text, char* buffer, int capacity) {
  return text.empty() ? 0 : CopyText(WideToNarrow(text), buffer, capacity);
}

}  // namespace

CVersionInfo::CVersionInfo(const std::string& path) : Path(NarrowToWide(path)) {}

CVersionInfo::CVersionInfo(const std::string& path, const std::string& name)
    : Path(NarrowToWide(path)), Name(NarrowToWide(name)) {}

CVersionInfo::CVersionInfo(const CVersionInfo& other) { CVersionInfo::Assign(other); }

CVersionInfo& CVersionInfo::operator=(const CVersionInfo& other) {
  if (this != &other) Assign(other);
  return *this;
}

CVersionInfo::~CVersionInfo() {
  Root = pugi::xml_node();
  Document.reset();
  VersionData.reset();
  FormatVersion.reset();
  Path.clear();
  Name.clear();
  PartNumber.clear();
  Prerequisites.clear();
}

void CVersionInfo::Assign(const CVersionInfo& other) {
  if (this == &other) return;
  Root = pugi::xml_node();
  Document.reset();
  VersionData.reset();
  FormatVersion.reset();
  Reset();
  Type = other.Type;
  Path = other.Path;
  Name = other.Name;
  PartNumber = other.PartNumber;
  if (other.VersionData) VersionData = std::make_unique<VersionNumber>(*other.VersionData);
  if (other.FormatVersion) FormatVersion = std::make_unique<VersionNumber>(*other.FormatVersion);
  PrerequisiteCount = other.PrerequisiteCount;
  Prerequisites = other.Prerequisites;
}

void CVersionInfo::Reset() {
  PrerequisiteCount = 0;
  Type = UNKNOWN;
  VersionData.reset();
  FormatVersion.reset();
  Root = pugi::xml_node();
  Document.reset();
}

void CVersionInfo::SetPath(const std::string& path) { Path = NarrowToWide(path); }
void CVersionInfo::SetName(const std::string& name) { Name = NarrowToWide(name); }
void CVersionInfo::SetPartNumber(const std::string& partNumber) { PartNumber = NarrowToWide(partNumber); }

void CVersionInfo::SetVersionData(const VersionNumber& value) {
  if (VersionData) {
    *VersionData = value;
  } else {
    VersionData = std::make_unique<VersionNumber>(value);
  }
}

void CVersionInfo::SetFormatVersion(const VersionNumber& value) {
  if (FormatVersion) {
    *FormatVersion = value;
  } else {
    FormatVersion = std::make_unique<VersionNumber>(value);
  }
}

std::u16string CVersionInfo::GetFolder() const {
  std::size_t at = Path.find(kVersionFileName);
  if (at != std::u16string::npos) {
    return Path.substr(0, at) + Path.substr(at + std::char_traits<char16_t>::length(kVersionFileName));
  }
  std::size_t cut = Path.find_last_of(u"\\/");
  return cut == std::u16string::npos ? std::u16string() : Path.substr(0, cut + 1);
}

std::string CVersionInfo::GetFolderA() const { return WideToNarrow(GetFolder()); }

std::string CVersionInfo::GetNameA() const { return WideToNarrow(Name); }
int CVersionInfo::GetName(char16_t* buffer, int capacity) const { return CopyNonEmpty(Name, buffer, capacity); }
int CVersionInfo::GetName(char* buffer, int capacity) const { return CopyNonEmpty(Name, buffer, capacity); }

std::string CVersionInfo::GetPartNumberA() const { return WideToNarrow(PartNumber); }
int CVersionInfo::GetPartNumber(char16_t* buffer, int capacity) const {
  return CopyNonEmpty(PartNumber, buffer, capacity);
}
int CVersionInfo::GetPartNumber(char* buffer, int capacity) const { return CopyNonEmpty(PartNumber, buffer, capacity); }

std::u16string CVersionInfo::GetVersionText() { return VersionData ? VersionData->GetDisplayText() : std::u16string(); }
std::string CVersionInfo::GetVersionTextA() { return WideToNarrow(GetVersionText()); }
int CVersionInfo::GetVersionText(char16_t* buffer, int capacity) {
  return VersionData ? VersionData->GetDisplayText(buffer, capacity) : 0;
}
int CVersionInfo::GetVersionText(char* buffer, int capacity) {
  return VersionData ? VersionData->GetDisplayText(buffer, capacity) : 0;
}

CMapVersion::CMapVersion(const CMapVersion& other) : CVersionInfo() {
  Type = MAP;
  AssignMap(other);
}

CMapVersion& CMapVersion::operator=(const CMapVersion& other) {
  if (this != &other) AssignMap(other);
  return *this;
}

CMapVersion::~CMapVersion() {
  MapName.clear();
  Categories.clear();
}

void CMapVersion::Reset() {
  CVersionInfo::Reset();
  Modified = false;
  Type = MAP;
}

void CMapVersion::AssignMap(const CMapVersion& other) {
  if (this == &other) return;
  Assign(other);
  MapName = other.MapName;
  Modified = other.Modified;
  Categories = other.Categories;
}

std::string CMapVersion::GetMapNameA() const { return WideToNarrow(MapName); }
int CMapVersion::GetMapName(char* buffer, int capacity) const { return CopyText(GetMapNameA(), buffer, capacity); }

std::u16string CMapVersion::GetCategory(int n) const {
  return n >= 0 && static_cast<std::size_t>(n) < Categories.size() ? Categories[n] : std::u16string();
}

std::string CMapVersion::GetCategoryA(int n) const { return WideToNarrow(GetCategory(n)); }

int CMapVersion::GetCategory(int n, char16_t* buffer, int capacity) const {
  if (buffer == nullptr || n < 0 || static_cast<std::size_t>(n) >= Categories.size()) return 0;
  return CopyText(Categories[n], buffer, capacity);
}

int CMapVersion::GetCategory(int n, char* buffer, int capacity) const {
  if (buffer == nullptr || n < 0 || static_cast<std::size_t>(n) >= Categories.size()) return 0;
  return CopyText(WideToNarrow(Categories[n]), buffer, capacity);
}

std::unique_ptr<CVersionInfo> CreateVersionRecord(PackageType type, const std::u16string& path,
                                                  const std::u16string& name) {
  if (type == MAP) return std::make_unique<CMapVersion>(path, name);
  if (type >= 0 && type < kPackageTypeCount) return std::make_unique<CVersionInfo>(path, name);
  return nullptr;
}

std::unique_ptr<CVersionInfo> CreateVersionRecord(PackageType type, const std::string& path, const std::string& name) {
  return CreateVersionRecord(type, NarrowToWide(path), NarrowToWide(name));
}

int CompareRecords(const CVersionInfo& a, const CVersionInfo& b) {
  if (a.VersionData && b.VersionData) {
    int versions = CompareVersions(*a.VersionData, *b.VersionData);
    if (versions != 0) return versions;
  } else if (a.VersionData || b.VersionData) {
    return -1;
  }
  if (a.Type != b.Type) return -1;
  if (!a.Name.empty() && !b.Name.empty()) return CompareNoCase(a.Name, b.Name);
  if (a.Name.empty() != b.Name.empty()) return -1;
  return 0;
}

}  // namespace version
