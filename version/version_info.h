#pragma once
// The version records of installed content: CVersionInfo for the version file
// "Version.xml" of any content item, CMapVersion for a map's. A record is
// filled by Read or its setters and written by Write; the file's layout is in
// version_file.cpp.
//
// Paths and texts are held wide; the narrow overloads convert at the edge,
// byte for code unit, as the C runtime does in the "C" locale the tool runs in.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "version/package_type.h"
#include "version/version_number.h"

namespace version {

// Scheme and host of the version file's namespace and schema addresses.
extern const char16_t VersionNamespaceBase[];

class CVersionInfo {
 public:
  CVersionInfo() = default;
  explicit CVersionInfo(const std::u16string& path) : Path(path) {}
  explicit CVersionInfo(const std::string& path);
  CVersionInfo(const std::u16string& path, const std::u16string& name) : Path(path), Name(name) {}
  CVersionInfo(const std::string& path, const std::string& name);
  // Default construction followed by Assign: the copy has no document.
  CVersionInfo(const CVersionInfo& other);
  CVersionInfo& operator=(const CVersionInfo& other);

  // The virtual operations, in the order of the record's table.
  virtual ~CVersionInfo();
  // Loads Path into the record; false (with no message) for a file that
  // cannot be read or parsed or lacks what a version file must hold.
  virtual bool Read();
  // Rebuilds Document from the fields and saves it; nothing without a Path.
  virtual void Write();
  // Copies another record's fields and prerequisites, never its document.
  virtual void Assign(const CVersionInfo& other);
  // The defaults of a new record. Only for new records and after Assign has
  // released what the record owned.
  virtual void Reset();
  // Replaces the file at Path with Document: up to 4 attempts to delete the
  // old file and 4 to write, 100 ms apart; failures are not reported.
  virtual void Save();

  // The four common children (Name, Type, PartNumber, VersionData) of the
  // root or of one prerequisite entry.
  bool ReadBody(pugi::xml_node element);
  void WriteBody(pugi::xml_node element);

  void SetPath(const std::u16string& path) { Path = path; }
  void SetPath(const std::string& path);
  void SetName(const std::u16string& name) { Name = name; }
  void SetName(const std::string& name);
  void SetPartNumber(const std::u16string& partNumber) { PartNumber = partNumber; }
  void SetPartNumber(const std::string& partNumber);
  void SetVersionData(const VersionNumber& value);
  void SetFormatVersion(const VersionNumber& value);

  // Path without its first "Version.xml" (C:\Content\Maps\ for
  // C:\Content\Maps\Version.xml); a path that does not name that file
  // gives the folder of whatever file it names.
  std::u16string GetFolder() const;
  std::string GetFolderA() const;

  // Buffer forms of the name and part number return 0 for an empty text.
  const std::u16string& GetName() const { return Name; }
  std::string GetNameA() const;
  int GetName(char16_t* buffer, int capacity) const;
  int GetName(char* buffer, int capacity) const;
  const std::u16string& GetPartNumber() const { return PartNumber; }
  std::string GetPartNumberA() const;
  int GetPartNumber(char16_t* buffer, int capacity) const;
  int GetPartNumber(char* buffer, int capacity) const;
  // The display text of VersionData; empty, or 0 in buffer form, without one.
  std::u16string GetVersionText();
  std::string GetVersionTextA();
  int GetVersionText(char16_t* buffer, int capacity);
  int GetVersionText(char* buffer, int capacity);

  PackageType Type = UNKNOWN;
  std::unique_ptr<VersionNumber> VersionData;
  // The file layout's version, from the root's "version" attribute.
  std::unique_ptr<VersionNumber> FormatVersion;
  // Plain records of which Type, Name, PartNumber and VersionData are used.
  std::vector<CVersionInfo> Prerequisites;
  // What Write writes of Prerequisites; never more than its length.
  std::int32_t PrerequisiteCount = 0;
  std::u16string Path;
  std::u16string Name;
  std::u16string PartNumber;
  // The document last read or built, and its "VersionInfo" element.
  std::unique_ptr<pugi::xml_document> Document;
  pugi::xml_node Root;

 protected:
  // Steps shared by both records' Write: the document with the root's
  // attributes, the common children and the prerequisites; false without a Path.
  bool BuildDocument();
};

class CMapVersion : public CVersionInfo {
 public:
  CMapVersion() { Type = MAP; }
  explicit CMapVersion(const std::u16string& path) : CVersionInfo(path) { Type = MAP; }
  explicit CMapVersion(const std::string& path) : CVersionInfo(path) { Type = MAP; }
  CMapVersion(const std::u16string& path, const std::u16string& name) : CVersionInfo(path, name) { Type = MAP; }
  CMapVersion(const std::string& path, const std::string& name) : CVersionInfo(path, name) { Type = MAP; }
  CMapVersion(const CMapVersion& other);
  CMapVersion& operator=(const CMapVersion& other);

  ~CMapVersion() override;
  bool Read() override;
  void Write() override;
  void Reset() override;

  // Assign, then the map's own fields.
  void AssignMap(const CMapVersion& other);

  // Buffer forms return 1 with an empty text for an empty value.
  const std::u16string& GetMapName() const { return MapName; }
  std::string GetMapNameA() const;
  int GetMapName(char16_t* buffer, int capacity) const { return CopyText(MapName, buffer, capacity); }
  int GetMapName(char* buffer, int capacity) const;
  // Category n; the buffer forms return 0 when n is out of range or no
  // buffer is given.
  std::u16string GetCategory(int n) const;
  std::string GetCategoryA(int n) const;
  int GetCategory(int n, char16_t* buffer, int capacity) const;
  int GetCategory(int n, char* buffer, int capacity) const;

  std::u16string MapName;
  std::vector<std::u16string> Categories;
  bool Modified = false;
};

// A new record for a version file of `type`, with its path and name: a
// CMapVersion for MAP, a CVersionInfo for any other type up to 17, none above.
// The record's Type stays its class default until Read.
std::unique_ptr<CVersionInfo> CreateVersionRecord(PackageType type, const std::u16string& path,
                                                  const std::u16string& name);
std::unique_ptr<CVersionInfo> CreateVersionRecord(PackageType type, const std::string& path, const std::string& name);

// 0 when two records match (version, type and name), non-zero otherwise; not an order.
int CompareRecords(const CVersionInfo& a, const CVersionInfo& b);

}  // namespace version
