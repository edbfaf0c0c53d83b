#include "tools/zampack/inspect.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "package/layout.h"
#include "package/md5.h"
#include "platform/text.h"
#include "tools/common/base_record.h"
#include "tools/common/count.h"
#include "tools/common/json.h"
#include "tools/zampack/package_image.h"
#include "tools/zampack/sign.h"
#include "version/package_type.h"

namespace zampack {
namespace {

using namespace package;
using tools::Count;

// The bytes of a package and the extents of its parts, each checked
// against the package's length before it is used.
struct Layout {
  std::string bytes;
  UpdateFileHeader header{};
  ChangeListHead head{};
  bool haveHead = false;
  bool changesFit = false;
  bool tableFits = false;
  std::uint32_t tableLength = 0;
  std::uint64_t tablePosition = 0;
  std::uint32_t dataAreaStart = 0;
  std::vector<ChangeRecord> changes;
  std::vector<FileRecord> files;
};

const std::uint8_t* At(const Layout& layout, std::uint64_t position) {
  return reinterpret_cast<const std::uint8_t*>(layout.bytes.data()) + position;
}

bool Fits(const Layout& layout, std::uint64_t position, std::uint64_t length) {
  return position <= layout.bytes.size() && length <= layout.bytes.size() - position;
}

std::string Display(const std::u16string& text) { return platform::WideToUtf8(text); }
std::string Display(const char (&path)[kPathSize]) {
  std::string text;
  if (!RecordPathText(path, &text)) return "<no NUL in 260 bytes>";
  return platform::NarrowToUtf8(text);
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char pair[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", bytes[i]);
    text += pair;
  }
  return text;
}

// Reads whatever of the structure is there; `faults` gets one line for each
// part that does not fit. False only when there is no header to read.
bool ReadLayout(const std::string& path, Layout* layout, std::vector<std::string>* faults) {
  std::string error;
  if (!ReadHostFile(path, &layout->bytes, &error)) {
    // The message names the path and the system's reason.
    std::size_t cut = error.rfind(": ");
    faults->push_back("cannot read the package: " + (cut == std::string::npos ? error : error.substr(cut + 2)));
    return false;
  }
  std::uint64_t size = layout->bytes.size();
  if (size < kHeaderSize) {
    faults->push_back("shorter than its 468-byte header (" + std::to_string(size) + " bytes)");
    return false;
  }
  DecodeHeader(At(*layout, 0), &layout->header);
  if (!HasIdentifier(layout->header)) {
    faults->push_back("not a package: its identifier is not ZAM_UPDATE_FILE");
    return false;
  }
  if (size > 0xFFFFFFFF) faults->push_back("not below 4 GiB");
  if (size < kChangeListStart) {
    faults->push_back("too short for its change-list head (" + std::to_string(size) + " bytes)");
    return true;
  }
  layout->haveHead = true;
  DecodeChangeHead(At(*layout, kHeaderSize), &layout->head);
  std::uint32_t changeLength = layout->head.ChangeListLength;
  layout->changesFit = Fits(*layout, kChangeListStart, changeLength);
  if (!layout->changesFit) {
    faults->push_back("change list of " + std::to_string(changeLength) + " bytes runs past the end");
  } else {
    if (changeLength % kChangeRecordSize != 0) {
      faults->push_back("change list of " + std::to_string(changeLength) + " bytes is not a whole number of records");
    }
    for (std::uint32_t done = 0; done + kChangeRecordSize <= changeLength; done += kChangeRecordSize) {
      ChangeRecord record;
      DecodeChangeRecord(At(*layout, kChangeListStart + done), &record);
      layout->changes.push_back(record);
    }
  }

  layout->tablePosition = static_cast<std::uint64_t>(kHeaderSize) + layout->header.FileTableOffset;
  if (!Fits(*layout, layout->tablePosition, 4)) {
    faults->push_back("file table offset " + std::to_string(layout->header.FileTableOffset) +
                      " lies outside the package");
    return true;
  }
  layout->tableLength = ReadUint32(At(*layout, layout->tablePosition));
  layout->tableFits = Fits(*layout, layout->tablePosition + 4, layout->tableLength);
  if (!layout->tableFits) {
    faults->push_back("file table of " + std::to_string(layout->tableLength) + " bytes runs past the end");
    return true;
  }
  if (layout->tableLength % kFileRecordSize != 0) {
    faults->push_back("file table of " + std::to_string(layout->tableLength) +
                      " bytes is not a whole number of records");
  }
  layout->dataAreaStart = static_cast<std::uint32_t>(layout->tablePosition + 4 + layout->tableLength);
  for (std::uint32_t done = 0; done + kFileRecordSize <= layout->tableLength; done += kFileRecordSize) {
    FileRecord record;
    DecodeFileRecord(At(*layout, layout->tablePosition + 4 + done), &record);
    layout->files.push_back(record);
  }
  return true;
}

void CheckHeader(const Layout& layout, std::vector<std::string>* faults) {
  const UpdateFileHeader& header = layout.header;
  if (header.AppIndex != 0) faults->push_back("AppIndex is " + std::to_string(header.AppIndex) + ", not 0");
  if (header.PackageType > static_cast<std::uint32_t>(version::UNKNOWN)) {
    faults->push_back("package type " + std::to_string(header.PackageType) + " is above 17");
  }
  Md5Context context;
  Md5Init(&context);
  Md5Update(&context, layout.bytes.data() + kHeaderSize, layout.bytes.size() - kHeaderSize);
  std::uint8_t digest[16];
  Md5Final(digest, &context);
  if (std::memcmp(digest, header.Checksum, 16) != 0) {
    faults->push_back("checksum " + Hex(header.Checksum, 16) + " does not match the body's MD5 " + Hex(digest, 16));
  }
  for (const std::string& fault : {NameFault(header.PackageType, HeaderText(header.Name)),
                                   DetailFault(HeaderText(header.Detail))}) {
    if (!fault.empty()) faults->push_back(fault);
  }
}

// What the device does with the records: the first change record of a path
// decides whether a file record is written; a written stream must lie in
// the package and inflate to exactly its size.
void CheckRecords(const Layout& layout, std::vector<std::string>* faults) {
  std::unordered_map<std::string, std::size_t> firstByPath;
  std::vector<bool> delivered(layout.changes.size(), false);
  std::string path;
  for (std::size_t i = 0; i < layout.changes.size(); ++i) {
    const ChangeRecord& change = layout.changes[i];
    std::string where = "change record " + std::to_string(i);
    if (!RecordPathText(change.Path, &path)) {
      faults->push_back(where + ": path has no NUL in its 260 bytes");
      continue;
    }
    if (const char* fault = RecordPathFault(path)) {
      faults->push_back(where + ": path \"" + Display(change.Path) + "\" " + fault);
      continue;
    }
    firstByPath.try_emplace(FoldPath(path), i);
  }
  for (std::size_t i = 0; i < layout.files.size(); ++i) {
    const FileRecord& file = layout.files[i];
    std::string where = "file record " + std::to_string(i);
    if (!RecordPathText(file.Path, &path)) {
      faults->push_back(where + ": path has no NUL in its 260 bytes");
      continue;
    }
    where += " \"" + Display(file.Path) + "\"";
    auto match = firstByPath.find(FoldPath(path));
    if (match == firstByPath.end()) continue;  // carried but never written: allowed
    const ChangeRecord& change = layout.changes[match->second];
    if (change.IsFolder != 0 || (change.IsAdded == 0 && change.IsChanged == 0)) continue;
    delivered[match->second] = true;
    if (file.Size == 0) continue;
    std::uint64_t position = StreamPosition(file, layout.dataAreaStart);
    if (position < kHeaderSize || !Fits(layout, position, file.StoredSize)) {
      faults->push_back(where + ": stream of " + std::to_string(file.StoredSize) + " bytes at " +
                        std::to_string(position) + " lies outside the package body");
      continue;
    }
    // Deflate shrinks by at most about 1032 to 1, so a larger claim is false
    // without spending the memory to find out.
    if (file.Size / 1032 > static_cast<std::uint64_t>(file.StoredSize) + 1) {
      faults->push_back(where + ": stream of " + std::to_string(file.StoredSize) + " bytes cannot inflate to " +
                        std::to_string(file.Size) + " bytes");
      continue;
    }
    std::vector<Bytef> output(file.Size);
    uLongf length = file.Size;
    int result = uncompress(output.data(), &length, At(layout, position), file.StoredSize);
    if (result != Z_OK || length != file.Size) {
      faults->push_back(where + ": stream does not inflate to its size of " + std::to_string(file.Size) + " bytes");
    }
  }
  for (std::size_t i = 0; i < layout.changes.size(); ++i) {
    const ChangeRecord& change = layout.changes[i];
    bool wantsFile = change.IsFolder == 0 && (change.IsAdded != 0 || change.IsChanged != 0);
    if (!wantsFile || delivered[i] || !RecordPathText(change.Path, &path) || !IsSafeRecordPath(path)) continue;
    if (firstByPath.at(FoldPath(path)) != i) continue;
    faults->push_back("change record " + std::to_string(i) + " \"" + Display(change.Path) +
                      "\": no file record delivers it");
  }
}

// The base record beside the package: false when there is none or it cannot
// be read (`fault` then says why).
bool ReadBase(const std::string& package, tools::BaseRecord* base, std::string* fault) {
  std::string path = tools::BasePathOf(package);
  std::error_code code;
  if (!std::filesystem::exists(HostPath(path), code)) return false;
  std::string text;
  std::string error;
  if (!ReadHostFile(path, &text, &error)) {
    *fault = "base record " + error;
    return false;
  }
  if (!tools::ParseBase(text, base, &error)) {
    *fault = "base record " + path + ": " + error;
    return false;
  }
  return true;
}

std::string BaseText(const tools::BaseRecord& base) {
  return base.tree + " (" + Count(base.files.size(), "changed or removed path") + " in " + "its base record)";
}

std::string BaseJsonValue(const std::string& package) {
  tools::BaseRecord base;
  std::string fault;
  if (!ReadBase(package, &base, &fault)) return "null";
  return "{\"tree\": " + tools::JsonString(base.tree) + ", \"files\": " + std::to_string(base.files.size()) +
         ", \"record\": " + tools::JsonString(tools::BasePathOf(package)) + "}";
}

}  // namespace

bool CheckDevice(const std::string& device, const std::string& path, bool json, std::ostream& out,
                 std::ostream& errors, int* exitCode) {
  tools::BaseRecord base;
  std::string fault;
  if (!ReadBase(path, &base, &fault)) {
    errors << "zampack check: " << path << ": "
           << (fault.empty() ? "no base record beside it (zampack diff writes " + tools::BasePathOf(path) + ")" : fault)
           << "\n";
    *exitCode = 2;
    return false;
  }
  std::error_code code;
  if (!std::filesystem::is_directory(HostPath(device) / "C", code)) {
    errors << "zampack check: " << device << ": not a device folder (no drive folder " << device << "/C)\n";
    *exitCode = 2;
    return false;
  }
  std::vector<std::string> findings;
  for (const tools::BaseFinding& finding : tools::CheckBase(base, HostPath(device))) findings.push_back(finding.text);
  *exitCode = findings.empty() ? 0 : 1;
  if (json) {
    out << "{\"package\": " << tools::JsonString(path) << ", \"device\": " << tools::JsonString(device)
        << ", \"base\": " << tools::JsonString(base.tree) << ", \"checked\": " << base.files.size()
        << ", \"differences\": [";
    for (std::size_t i = 0; i < findings.size(); ++i) out << (i == 0 ? "" : ", ") << tools::JsonString(findings[i]);
    out << "], \"exitCode\": " << *exitCode << "}\n";
    return findings.empty();
  }
  for (const std::string& finding : findings) out << finding << "\n";
  out << device << (findings.empty() ? " matches" : " does not match") << " the base " << path
      << " was made against, " << BaseText(base) << "\n";
  return findings.empty();
}

bool ListPackage(const std::string& path, std::ostream& out, std::ostream& errors) {
  Layout layout;
  std::vector<std::string> faults;
  bool readable = ReadLayout(path, &layout, &faults);
  for (const std::string& fault : faults) errors << "zampack list: " << path << ": " << fault << "\n";
  if (!readable) return false;
  const UpdateFileHeader& header = layout.header;
  std::u16string identifier(header.Identifier, kIdentifierUnits);
  identifier = identifier.substr(0, identifier.find(u'\0'));
  std::string typeName = header.PackageType < static_cast<std::uint32_t>(version::kPackageTypeCount)
                             ? Display(version::PackageTypeName(static_cast<version::PackageType>(header.PackageType)))
                             : "?";
  char line[512];
  out << "Identifier        " << Display(identifier) << "\n";
  out << "AppIndex          " << header.AppIndex << "\n";
  out << "PackageType       " << header.PackageType << " (" << typeName << ")\n";
  out << "FileTableOffset   " << header.FileTableOffset << "\n";
  out << "Checksum          " << Hex(header.Checksum, 16) << "\n";
  out << "Name              " << Display(HeaderText(header.Name)) << "\n";
  out << "Detail            " << Display(HeaderText(header.Detail)) << "\n";
  if (layout.haveHead) {
    out << "ChangeListLength  " << layout.head.ChangeListLength << " (" << Count(layout.changes.size(), "record") << ")\n";
  }
  if (layout.tableFits) {
    out << "FileTableLength   " << layout.tableLength << " (" << Count(layout.files.size(), "record") << ")\n";
    out << "DataAreaStart     " << layout.dataAreaStart << "\n";
  }
  tools::BaseRecord base;
  std::string baseFault;
  if (ReadBase(path, &base, &baseFault)) out << "Base              " << BaseText(base) << "\n";
  out << "\nChange records\n";
  std::snprintf(line, sizeof(line), "%6s %6s %5s %7s %7s  %s\n", "#", "Folder", "Added", "Changed", "Removed", "Path");
  out << line;
  for (std::size_t i = 0; i < layout.changes.size(); ++i) {
    const ChangeRecord& c = layout.changes[i];
    std::snprintf(line, sizeof(line), "%6zu %6u %5u %7u %7u  ", i, c.IsFolder, c.IsAdded, c.IsChanged, c.IsRemoved);
    out << line << Display(c.Path) << "\n";
  }
  out << "\nFile records\n";
  std::snprintf(line, sizeof(line), "%6s %10s %10s %10s %10s %8s  %s\n", "#", "Attributes", "Size", "StoredSize",
                "Offset", "Absolute", "Path");
  out << line;
  for (std::size_t i = 0; i < layout.files.size(); ++i) {
    const FileRecord& f = layout.files[i];
    std::snprintf(line, sizeof(line), "%6zu 0x%08x %10u %10u %10u %8u  ", i, f.Attributes, f.Size, f.StoredSize,
                  f.Offset, f.IsAbsoluteOffset);
    out << line << Display(f.Path) << "\n";
  }
  return true;
}

bool ListPackageJson(const std::string& path, std::ostream& out, std::ostream& errors) {
  Layout layout;
  std::vector<std::string> faults;
  bool readable = ReadLayout(path, &layout, &faults);
  for (const std::string& fault : faults) errors << "zampack list: " << path << ": " << fault << "\n";
  if (!readable) return false;
  using tools::JsonString;
  const UpdateFileHeader& header = layout.header;
  std::u16string identifier(header.Identifier, kIdentifierUnits);
  identifier = identifier.substr(0, identifier.find(u'\0'));
  std::string typeName = header.PackageType < static_cast<std::uint32_t>(version::kPackageTypeCount)
                             ? JsonString(Display(version::PackageTypeName(static_cast<int>(header.PackageType))))
                             : "null";
  out << "{\n  \"header\": {\"identifier\": " << JsonString(Display(identifier)) << ", \"appIndex\": " << header.AppIndex
      << ", \"packageType\": " << header.PackageType << ", \"packageTypeName\": " << typeName
      << ", \"fileTableOffset\": " << header.FileTableOffset << ", \"checksum\": \"" << Hex(header.Checksum, 16)
      << "\", \"name\": " << JsonString(Display(HeaderText(header.Name)))
      << ", \"detail\": " << JsonString(Display(HeaderText(header.Detail)));
  if (layout.haveHead) out << ", \"changeListLength\": " << layout.head.ChangeListLength;
  if (layout.tableFits) {
    out << ", \"fileTableLength\": " << layout.tableLength << ", \"dataAreaStart\": " << layout.dataAreaStart;
  }
  out << "},\n  \"base\": " << BaseJsonValue(path) << ",\n  \"changes\": [";
  std::uint64_t counts[2][3] = {};  // [folder][added, changed, removed]
  for (std::size_t i = 0; i < layout.changes.size(); ++i) {
    const ChangeRecord& c = layout.changes[i];
    out << (i == 0 ? "\n" : ",\n") << "    {\"path\": " << JsonString(Display(c.Path))
        << ", \"folder\": " << (c.IsFolder != 0 ? "true" : "false") << ", \"added\": " << (c.IsAdded != 0 ? "true" : "false")
        << ", \"changed\": " << (c.IsChanged != 0 ? "true" : "false")
        << ", \"removed\": " << (c.IsRemoved != 0 ? "true" : "false") << "}";
    int kind = c.IsAdded != 0 ? 0 : c.IsChanged != 0 ? 1 : c.IsRemoved != 0 ? 2 : -1;
    if (kind >= 0) ++counts[c.IsFolder != 0 ? 1 : 0][kind];
  }
  out << "\n  ],\n  \"files\": [";
  std::uint64_t unpacked = 0;
  std::uint64_t stored = 0;
  for (std::size_t i = 0; i < layout.files.size(); ++i) {
    const FileRecord& f = layout.files[i];
    out << (i == 0 ? "\n" : ",\n") << "    {\"path\": " << JsonString(Display(f.Path)) << ", \"attributes\": " << f.Attributes
        << ", \"size\": " << f.Size << ", \"storedSize\": " << f.StoredSize << ", \"offset\": " << f.Offset
        << ", \"absoluteOffset\": " << (f.IsAbsoluteOffset != 0 ? "true" : "false") << "}";
    unpacked += f.Size;
    stored += f.StoredSize;
  }
  out << "\n  ],\n  \"totals\": {\"added\": {\"files\": " << counts[0][0] << ", \"folders\": " << counts[1][0]
      << "}, \"changed\": {\"files\": " << counts[0][1] << ", \"folders\": " << counts[1][1]
      << "}, \"removed\": {\"files\": " << counts[0][2] << ", \"folders\": " << counts[1][2]
      << "}, \"bytesUnpacked\": " << unpacked << ", \"bytesStored\": " << stored << "},\n  \"faults\": [";
  for (std::size_t i = 0; i < faults.size(); ++i) out << (i == 0 ? "" : ", ") << JsonString(faults[i]);
  out << "]\n}\n";
  return true;
}

bool VerifyPackage(const std::string& path, const std::string& keyFile, bool json, std::ostream& out,
                   std::ostream& errors) {
  Layout layout;
  std::vector<std::string> faults;
  if (ReadLayout(path, &layout, &faults)) {
    CheckHeader(layout, &faults);
    CheckRecords(layout, &faults);
  }
  tools::BaseRecord base;
  std::string baseFault;
  bool haveBase = ReadBase(path, &base, &baseFault);
  if (!baseFault.empty()) faults.push_back(baseFault);
  SignatureCheck signature;
  if (!keyFile.empty()) {
    signature = CheckSignature(path, layout.bytes, keyFile);
    if (!signature.verified) faults.push_back("signature: " + signature.fault);
  }
  if (json) {
    using tools::JsonString;
    out << "{\"package\": " << JsonString(path) << ", \"base\": " << BaseJsonValue(path)
        << ", \"ok\": " << (faults.empty() ? "true" : "false")
        << ", \"changeRecords\": " << layout.changes.size() << ", \"fileRecords\": " << layout.files.size()
        << ", \"faults\": [";
    for (std::size_t i = 0; i < faults.size(); ++i) out << (i == 0 ? "" : ", ") << JsonString(faults[i]);
    out << "], \"signature\": ";
    if (keyFile.empty()) {
      out << "null";
    } else {
      out << "{\"file\": " << JsonString(signature.file) << ", \"verified\": "
          << (signature.verified ? "true" : "false") << ", \"keyId\": " << JsonString(signature.keyId)
          << ", \"algorithm\": " << JsonString(signature.algorithm)
          << ", \"trustedComment\": " << JsonString(signature.trustedComment)
          << ", \"fault\": " << JsonString(signature.fault) << "}";
    }
    out << "}\n";
    return faults.empty();
  }
  for (const std::string& fault : faults) errors << "zampack verify: " << path << ": " << fault << "\n";
  if (!faults.empty()) return false;
  out << path << ": OK (" << Count(layout.changes.size(), "change record") << ", "
      << Count(layout.files.size(), "file record") << ")" << (haveBase ? ", made against " + BaseText(base) : "")
      << "\n";
  if (signature.verified) {
    out << path << ": signed by key " << signature.keyId << " (" << signature.algorithm
        << "), trusted comment: " << signature.trustedComment << "\n";
  }
  return true;
}

}  // namespace zampack
