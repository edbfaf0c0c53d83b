// The version file "Version.xml": UTF-16LE with a byte-order mark, a
// "VersionInfo" root whose attributes name the layout's version and schema,
// the item's name, type, part number and version, its prerequisites, and for
// a map its map data. Reading finds elements by name, so their order and any
// other content of a file do not matter; writing rebuilds the whole document.
#include <algorithm>

#include "platform/clock.h"
#include "platform/file.h"
#include "platform/text.h"
#include "version/scan.h"
#include "version/version_info.h"
#include "xml/xml.h"

namespace version {

const char16_t VersionNamespaceBase[] = u"https://schemas.colmarte.com";

namespace {

constexpr int kSaveAttempts = 4;

// The layout nests five levels below the root at most (a prerequisite's
// version numbers and their text); room is left for what other writers add.
constexpr int kMaxDepth = 16;

// True when some node lies more than `limit` levels below `root`. Walked
// without recursion, as the file decides how deep it goes.
bool DeeperThan(pugi::xml_node root, int limit) {
  int depth = 0;
  pugi::xml_node node = root;
  while (true) {
    if (node.first_child()) {
      node = node.first_child();
      if (++depth > limit) return true;
      continue;
    }
    while (node != root && !node.next_sibling()) {
      node = node.parent();
      --depth;
    }
    if (node == root) return false;
    node = node.next_sibling();
  }
}

const char16_t kSchemaInstanceNamespace[] = u"http://www.w3.org/2001/XMLSchema-instance";

void SetAttribute(pugi::xml_node element, const char* name, const std::u16string& value) {
  element.append_attribute(name).set_value(platform::WideToUtf8(value).c_str());
}

// "Major.Minor_date[_prerelease]", Minor of at most two digits; false, with
// the value left at 0.00, when the first three parts are not all there.
bool ParseFormatVersion(const std::u16string& text, VersionNumber* value) {
  if (text.empty()) return false;
  value->PreRelease.clear();
  std::size_t position = 0;
  int major = 0;
  int minor = 0;
  bool numbers = ScanInt(text, &position, 0, &major) && ScanLiteral(text, &position, u'.') &&
                 ScanInt(text, &position, 2, &minor) && ScanLiteral(text, &position, u'_');
  std::size_t dateEnd = numbers ? text.find(u'_', position) : std::u16string::npos;
  if (dateEnd == std::u16string::npos) dateEnd = text.size();
  if (!numbers || dateEnd == position) {
    value->Major = 0;
    value->Minor = 0;
    return false;
  }
  value->Major = major;
  value->Minor = minor;
  value->Date.ParseDate(text.substr(position, dateEnd - position));
  if (dateEnd + 1 < text.size()) value->PreRelease = text.substr(dateEnd + 1);
  return true;
}

// The "VersionData" child of `element` into `value`.
bool ReadVersionData(pugi::xml_node element, VersionNumber* value) {
  pugi::xml_node data = element.child("VersionData");
  if (!data) return false;
  value->Major = xml::GetChildInt(data, u"MajorVersion");
  value->Minor = xml::GetChildInt(data, u"MinorVersion");
  value->Date = VersionDate();
  xml::GetChildText(data, u"Date", value->Date.text);
  if (!value->Date.text.empty()) value->Date.ParseDate(value->Date.text);
  value->PreRelease.clear();
  xml::GetChildText(data, u"PreRelease", value->PreRelease);
  return true;
}

// A type outside the table (only a failed read leaves one) is written as UNKNOWN.
std::u16string TypeText(PackageType type) {
  return PackageTypeName(type >= 0 && type < kPackageTypeCount ? type : UNKNOWN);
}

}  // namespace

bool CVersionInfo::Read() {
  if (Path.empty()) return false;
  PrerequisiteCount = 0;
  Root = pugi::xml_node();
  xml::NewXmlDocument(Document, xml::kEncodingUtf16);
  if (!xml::LoadXmlFile(platform::WideToNarrow(Path), Document.get())) return false;
  // A later Save writes UTF-16 whatever the file was.
  xml::SetXmlDeclaration(*Document, u"1.0", xml::kEncodingUtf16);
  Root = Document->child("VersionInfo");
  if (!Root) return false;
  if (DeeperThan(Root, kMaxDepth)) {
    // No version file nests so deep; nothing of it is kept for a Save, which
    // would indent every level.
    Root = pugi::xml_node();
    Document.reset();
    return false;
  }

  FormatVersion = std::make_unique<VersionNumber>();
  ParseFormatVersion(platform::Utf8ToWide(Root.attribute("version").value()), FormatVersion.get());

  if (!ReadBody(Root)) return false;
  pugi::xml_node list = Root.child("PrerequisiteData");
  if (!list) return false;
  if (!list.first_child()) return true;
  Prerequisites.clear();
  // Every kind of child is tried: text between the entries and incomplete
  // entries fail ReadBody and are left out.
  for (pugi::xml_node child : list.children()) {
    CVersionInfo entry;
    if (entry.ReadBody(child)) Prerequisites.push_back(entry);
  }
  PrerequisiteCount = static_cast<std::int32_t>(Prerequisites.size());
  return true;
}

bool CVersionInfo::ReadBody(pugi::xml_node element) {
  Name.clear();
  xml::GetChildText(element, u"Name", Name);
  Type = UNKNOWN;
  bool acceptable = !Name.empty();
  std::u16string typeText;
  xml::GetChildText(element, u"Type", typeText);
  if (!typeText.empty()) {
    Type = ParsePackageType(typeText);
    acceptable = Type == MAP || (!Name.empty() && Type != NoPackageType);
  }
  PartNumber.clear();
  xml::GetChildText(element, u"PartNumber", PartNumber);
  VersionData = std::make_unique<VersionNumber>();
  return acceptable && ReadVersionData(element, VersionData.get());
}

bool CVersionInfo::BuildDocument() {
  if (Path.empty()) return false;
  Root = pugi::xml_node();
  xml::NewXmlDocument(Document, xml::kEncodingUtf16);
  Root = Document->append_child("VersionInfo");
  FormatVersion = std::make_unique<VersionNumber>(1, 5, u"", VersionDate(2014, 7, 7).date);
  std::u16string fileText = FormatVersion->VersionText(u'_');
  SetAttribute(Root, "version", fileText);
  SetAttribute(Root, "xmlns", std::u16string(VersionNamespaceBase) + u"/xsd/Version");
  SetAttribute(Root, "xmlns:xsi", kSchemaInstanceNamespace);
  SetAttribute(Root, "xsi:schemaLocation",
               u"xmlns " + std::u16string(VersionNamespaceBase) + u"/xsd/Version_" + fileText + u".xsd");
  WriteBody(Root);
  if (PrerequisiteCount > 0) {
    pugi::xml_node list = Root.append_child("PrerequisiteData");
    std::size_t count = std::min(static_cast<std::size_t>(PrerequisiteCount), Prerequisites.size());
    for (std::size_t i = 0; i < count; ++i) Prerequisites[i].WriteBody(list.append_child("Prerequisite"));
  } else {
    xml::AddChildText(Root, u"PrerequisiteData", u"");
  }
  return true;
}

void CVersionInfo::Write() {
  if (BuildDocument()) Save();
}

void CVersionInfo::WriteBody(pugi::xml_node element) {
  xml::AddChildText(element, u"Name", Name);
  xml::AddChildText(element, u"Type", TypeText(Type));
  xml::AddChildText(element, u"PartNumber", PartNumber);
  if (!VersionData) VersionData = std::make_unique<VersionNumber>();
  pugi::xml_node data = element.append_child("VersionData");
  xml::AddChildInt(data, u"MajorVersion", VersionData->Major);
  xml::AddChildInt(data, u"MinorVersion", VersionData->Minor);
  VersionData->Date.FormatDate();
  xml::AddChildText(data, u"Date", VersionData->Date.text);
  xml::AddChildText(data, u"PreRelease", VersionData->PreRelease);
}

void CVersionInfo::Save() {
  if (!Document) return;
  std::string path = platform::WideToNarrow(Path);
  // Each attempt writes the whole file beside the old one and replaces it in
  // one step: a failed or cut-short attempt leaves the old file as it was
  // (a read-only one cannot be replaced, as it cannot be deleted).
  for (int attempt = 1; attempt <= kSaveAttempts; ++attempt) {
    if (xml::SaveXmlFile(path, Document.get(), 0)) return;
    if (attempt < kSaveAttempts) platform::Wait100ms();
  }
}

bool CMapVersion::Read() {
  if (!CVersionInfo::Read() || !Document || !Root) return false;
  pugi::xml_node map = Root.child("MapInfoData");
  if (!map) return true;
  xml::GetChildText(map, u"MapName", MapName);
  Modified = xml::GetChildBool(map, u"Modified");
  pugi::xml_node categories = map.child("Categories");
  if (categories) {
    Categories.clear();
    for (pugi::xml_node child : categories.children()) {
      // The first text child of each entry, whatever the entry is called;
      // text standing between the entries is no entry.
      if (child.type() != pugi::node_element) continue;
      std::u16string text = platform::Utf8ToWide(child.text().get());
      if (!text.empty()) Categories.push_back(text);
    }
  }
  return true;
}

void CMapVersion::Write() {
  if (!BuildDocument()) return;
  pugi::xml_node map = Root.append_child("MapInfoData");
  xml::AddChildText(map, u"MapName", MapName);
  xml::AddChildBool(map, u"Modified", Modified);
  pugi::xml_node categories = map.append_child("Categories");
  bool any = false;
  for (const std::u16string& category : Categories) {
    if (category.empty()) continue;
    xml::AddChildText(categories, u"Category", category);
    any = true;
  }
  if (!any) xml::AddChildText(categories, u"Category", u"");
  Save();
}

}  // namespace version
