#include "tools/zampack/manifest.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "version/package_type.h"

namespace zampack {
namespace {

using Fields = std::map<std::string, std::string>;

const std::vector<std::string> kHeaderKeys = {"type", "name", "detail", "app-index", "identifier", "checksum", "padding",
                                   "file-table-offset", "change-list-length", "file-table-length"};
const std::vector<std::string> kChangeKeys = {"path", "folder", "added", "changed", "removed"};
const std::vector<std::string> kFileKeys = {"path", "attributes", "text", "source", "store", "size", "stored-size",
                                 "offset", "absolute"};

// "key=value" or key="value with spaces"; quoted values run to the next
// quote, with no escapes, so that backslashes in paths stay as they are.
bool SplitLine(const std::string& line, std::string* kind, Fields* fields, std::string* error) {
  std::size_t at = 0;
  auto skipSpace = [&] {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
  };
  skipSpace();
  std::size_t start = at;
  while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') ++at;
  *kind = line.substr(start, at - start);
  for (skipSpace(); at < line.size(); skipSpace()) {
    std::size_t equals = line.find('=', at);
    if (equals == std::string::npos) {
      *error = "expected key=value at \"" + line.substr(at) + "\"";
      return false;
    }
    std::string key = line.substr(at, equals - at);
    at = equals + 1;
    std::string value;
    if (at < line.size() && line[at] == '"') {
      std::size_t close = line.find('"', at + 1);
      if (close == std::string::npos) {
        *error = "unterminated quote after " + key + "=";
        return false;
      }
      value = line.substr(at + 1, close - at - 1);
      at = close + 1;
    } else {
      start = at;
      while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') ++at;
      value = line.substr(start, at - start);
    }
    if (!fields->emplace(key, value).second) {
      *error = "key given twice: " + key;
      return false;
    }
  }
  return true;
}

bool CheckKeys(const Fields& fields, const std::vector<std::string>& known, std::string* error) {
  for (const auto& [key, value] : fields) {
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      *error = "unknown key: " + key;
      return false;
    }
  }
  return true;
}

bool ParseNumber(const std::string& text, std::uint32_t* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  unsigned long long number = std::strtoull(text.c_str(), &end, 0);
  if (*end != '\0' || number > 0xFFFFFFFFull || text[0] == '-') return false;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

// Sets `*value` from the field when present; "auto" leaves it to the layout.
bool TakeNumber(const Fields& fields, const std::string& key, std::uint32_t* value, bool* isAuto,
                std::string* error) {
  auto it = fields.find(key);
  if (it == fields.end() || it->second == "auto") return true;
  if (!ParseNumber(it->second, value)) {
    *error = "not a number: " + key + "=" + it->second;
    return false;
  }
  if (isAuto != nullptr) *isAuto = false;
  return true;
}

bool TakeFlag(const Fields& fields, const std::string& key, std::uint32_t* value, std::string* error) {
  return TakeNumber(fields, key, value, nullptr, error);
}

bool ParseChecksum(const std::string& hex, std::uint8_t checksum[16]) {
  if (hex.size() != 32) return false;
  for (int i = 0; i < 16; ++i) {
    std::uint32_t byte = 0;
    if (!ParseNumber("0x" + hex.substr(2 * i, 2), &byte)) return false;
    checksum[i] = static_cast<std::uint8_t>(byte);
  }
  return true;
}

bool ApplyHeader(const Fields& fields, PackageImage* image, std::string* error) {
  if (!CheckKeys(fields, kHeaderKeys, error)) return false;
  package::UpdateFileHeader& header = image->header;
  auto text = [&fields](const char* key) {
    auto it = fields.find(key);
    return it == fields.end() ? std::u16string() : platform::Utf8ToWide(it->second.c_str());
  };
  std::uint32_t type = 0;
  if (fields.count("type") != 0 && !ParseType(fields.at("type"), &type)) {
    *error = "unknown package type: " + fields.at("type");
    return false;
  }
  if (!StartImage(image, type, text("name"), text("detail"), error)) return false;
  if (fields.count("identifier") != 0) {
    std::u16string identifier = text("identifier");
    if (identifier.size() > package::kIdentifierUnits) {
      *error = "the identifier is longer than 20 units";
      return false;
    }
    for (std::uint32_t i = 0; i < package::kIdentifierUnits; ++i) {
      header.Identifier[i] = i < identifier.size() ? identifier[i] : u'\0';
    }
  }
  if (fields.count("checksum") != 0 && fields.at("checksum") != "auto") {
    if (!ParseChecksum(fields.at("checksum"), header.Checksum)) {
      *error = "checksum must be 32 hexadecimal digits";
      return false;
    }
    image->autoChecksum = false;
  }
  return TakeNumber(fields, "app-index", &header.AppIndex, nullptr, error) &&
         TakeNumber(fields, "padding", &image->padding, nullptr, error) &&
         TakeNumber(fields, "file-table-offset", &header.FileTableOffset, &image->autoFileTableOffset, error) &&
         TakeNumber(fields, "change-list-length", &image->changeListLength, &image->autoChangeListLength, error) &&
         TakeNumber(fields, "file-table-length", &image->fileTableLength, &image->autoFileTableLength, error);
}

bool TakePath(const Fields& fields, char (&path)[package::kPathSize], std::string* error) {
  auto it = fields.find("path");
  if (it == fields.end()) {
    *error = "a record needs path=";
    return false;
  }
  std::string narrow = platform::WideToNarrow(platform::Utf8ToWide(it->second.c_str()));
  if (narrow.empty() != it->second.empty() || !package::SetRecordPath(path, narrow)) {
    *error = "path not representable in 259 device characters: " + it->second;
    return false;
  }
  return true;
}

bool ApplyChange(const Fields& fields, PackageImage* image, std::string* error) {
  if (!CheckKeys(fields, kChangeKeys, error)) return false;
  package::ChangeRecord change{};
  if (!TakePath(fields, change.Path, error) || !TakeFlag(fields, "folder", &change.IsFolder, error) ||
      !TakeFlag(fields, "added", &change.IsAdded, error) || !TakeFlag(fields, "changed", &change.IsChanged, error) ||
      !TakeFlag(fields, "removed", &change.IsRemoved, error)) {
    return false;
  }
  image->changes.push_back(change);
  return true;
}

bool ApplyFile(const Fields& fields, const std::filesystem::path& folder, PackageImage* image, std::string* error) {
  if (!CheckKeys(fields, kFileKeys, error)) return false;
  DeliveredFile file;
  file.record.Attributes = platform::kAttributeNormal;
  if (!TakePath(fields, file.record.Path, error)) return false;
  if (fields.count("text") != 0 && fields.count("source") != 0) {
    *error = "a file record takes text= or source=, not both";
    return false;
  }
  if (fields.count("text") != 0) file.content = fields.at("text");
  if (fields.count("source") != 0) {
    std::filesystem::path source = folder / HostPath(fields.at("source"));
    std::string reason;
    if (!ReadHostFile(HostText(source), &file.content, &reason)) {
      *error = "cannot read " + reason;
      return false;
    }
  }
  if (fields.count("store") != 0) {
    const std::string& store = fields.at("store");
    if (store != "zlib" && store != "raw") {
      *error = "store must be zlib or raw";
      return false;
    }
    file.storeRaw = store == "raw";
  }
  if (!TakeFlag(fields, "attributes", &file.record.Attributes, error) ||
      !TakeFlag(fields, "absolute", &file.record.IsAbsoluteOffset, error) ||
      !TakeNumber(fields, "size", &file.record.Size, &file.autoSize, error) ||
      !TakeNumber(fields, "stored-size", &file.record.StoredSize, &file.autoStoredSize, error) ||
      !TakeNumber(fields, "offset", &file.record.Offset, &file.autoOffset, error)) {
    return false;
  }
  image->files.push_back(std::move(file));
  return true;
}

}  // namespace

const char* const kManifestHelp =
    "A manifest has one record per line, in package order; '#' starts a comment line.\n"
    "Values are key=value or key=\"value with spaces\" (no escapes: backslashes stay).\n"
    "\n"
    "  header type=TYPE name=TEXT detail=TEXT [app-index=N] [identifier=TEXT]\n"
    "         [checksum=auto|32 HEX DIGITS] [padding=N] [file-table-offset=auto|N]\n"
    "         [change-list-length=auto|N] [file-table-length=auto|N]\n"
    "  change path=PATH [folder=N] [added=N] [changed=N] [removed=N]\n"
    "  file   path=PATH (text=TEXT | source=HOSTFILE) [attributes=N] [store=zlib|raw]\n"
    "         [size=auto|N] [stored-size=auto|N] [offset=auto|N] [absolute=N]\n"
    "\n"
    "The header line comes first. Numbers are decimal or 0x hexadecimal; flags\n"
    "are stored as given (0 false). padding puts zero bytes between the change\n"
    "list and the file table. Streams follow the file table in file-record\n"
    "order; an automatic offset is relative to the data area unless absolute is\n"
    "non-zero. source= is relative to the manifest's folder. store=raw stores the\n"
    "content itself instead of a zlib stream; size= can make a record claim a\n"
    "size its stream does not inflate to.\n";

bool ParseType(const std::string& text, std::uint32_t* type) {
  version::PackageType named = version::ParsePackageType(text);
  if (named != version::NoPackageType) {
    *type = static_cast<std::uint32_t>(named);
    return true;
  }
  return ParseNumber(text, type);
}

bool ParseManifest(const std::string& path, PackageImage* image, std::string* error) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read manifest " + path + ": " + (errno != 0 ? std::strerror(errno) : "cannot be opened");
    return false;
  }
  std::filesystem::path folder = HostPath(path).parent_path();
  std::string line;
  bool haveHeader = false;
  for (int number = 1; std::getline(in, line); ++number) {
    std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string kind;
    Fields fields;
    bool ok = SplitLine(line, &kind, &fields, error);
    if (ok && kind == "header") {
      ok = !haveHeader;
      if (!ok) *error = "a second header line";
      ok = ok && ApplyHeader(fields, image, error);
      haveHeader = true;
    } else if (ok && !haveHeader) {
      ok = false;
      *error = "the header line must come first";
    } else if (ok && kind == "change") {
      ok = ApplyChange(fields, image, error);
    } else if (ok && kind == "file") {
      ok = ApplyFile(fields, folder, image, error);
    } else if (ok) {
      ok = false;
      *error = "unknown record kind: " + kind;
    }
    if (!ok) {
      *error = path + ":" + std::to_string(number) + ": " + *error;
      return false;
    }
  }
  if (!haveHeader) {
    *error = path + ": no header line";
    return false;
  }
  return true;
}

}  // namespace zampack
