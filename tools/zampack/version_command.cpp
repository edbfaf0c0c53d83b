#include "tools/zampack/version_command.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/user_locale.h"
#include "tools/common/json.h"
#include "version/version_info.h"

namespace zampack {

const char kVersionHelp[] =
    "usage: zampack version write FILE --type TYPE --name TEXT [--part TEXT] [--major N] [--minor N]\n"
    "                              [--date YYYY-MM-DD] [--prerelease TEXT]\n"
    "                              [--prerequisite TYPE,NAME,PART,MAJOR,MINOR,DATE]...\n"
    "                              [--map-name TEXT] [--category TEXT]... [--modified]\n"
    "       zampack version show [--json] FILE...\n"
    "\n"
    "write makes the version file FILE (Version.xml) of a content item the way\n"
    "the device writes it: UTF-16 with a byte-order mark. TYPE is a package type\n"
    "name (SOFTWARE, MAP, VOICE, ...); the map options are for type MAP only.\n"
    "The name may be empty only for a map, as the device reads no other such\n"
    "file. Numbers default to 0, the date to 0000-00-00.\n"
    "\n"
    "show reads each FILE as the device does and prints one line per file:\n"
    "path, type, name, part number, version and the number of prerequisites,\n"
    "separated by tabs; --json prints one JSON document: \"files\", one object\n"
    "per file with every field, and \"refused\", the files the device would\n"
    "refuse with the reason.\n"
    "A file the device would refuse is named on standard error, and the exit\n"
    "code is then 1.\n";

namespace {

using version::CMapVersion;
using version::CVersionInfo;
using version::VersionNumber;

int Fail(const std::string& message) {
  std::cerr << "zampack version: " << message << "\n";
  return 1;
}

int Usage() {
  std::cerr << kVersionHelp;
  return 2;
}

std::string Utf8(const std::u16string& text) { return platform::WideToUtf8(text); }

// A host path, UTF-8 as every argument, in the form the device's file calls take.
bool DevicePath(const std::string& file, std::u16string* path) {
  std::string narrow;
  if (!platform::SystemTextFromUtf8(file, &narrow)) return false;
  *path = platform::NarrowToWide(narrow);
  return true;
}

const char kUnnamable[] = ": the path is not UTF-8 or has characters the system's code page cannot hold";

// A text that the file keeps as written: bytes that are not UTF-8 would be
// dropped, control characters other than tab and line feed are not XML text,
// and a text of blanks alone reads back empty.
bool CheckText(const std::string& option, const std::string& text, std::string* error) {
  if (platform::WideToUtf8(platform::Utf8ToWide(text.c_str())) != text) {
    *error = option + " is not valid UTF-8 text";
    return false;
  }
  bool blank = !text.empty();
  for (unsigned char c : text) {
    if (c < 0x20 && c != '\t' && c != '\n') {
      *error = option + " holds a control character, which a version file cannot keep";
      return false;
    }
    if (c != ' ' && c != '\t' && c != '\n') blank = false;
  }
  if (blank) {
    *error = option + " holds only blanks, which a version file reads back as empty";
    return false;
  }
  return true;
}

bool ParseNumber(const std::string& option, const std::string& text, std::int32_t* value, std::string* error) {
  errno = 0;
  char* end = nullptr;
  long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
    *error = option + " is not a whole number: " + text;
    return false;
  }
  *value = static_cast<std::int32_t>(number);
  return true;
}

bool ParseDateOption(const std::string& option, const std::string& text, version::VersionDate* date,
                     std::string* error) {
  bool digits = text.size() == 10 && text[4] == '-' && text[7] == '-';
  for (std::size_t i = 0; digits && i < text.size(); ++i) {
    if (i != 4 && i != 7 && (text[i] < '0' || text[i] > '9')) digits = false;
  }
  if (!digits || !date->ParseDate(text) || date->date.month < 1 || date->date.month > 12 || date->date.day < 1 ||
      date->date.day > 31) {
    *error = option + " is not a date YYYY-MM-DD: " + text;
    return false;
  }
  return true;
}

bool ParseTypeOption(const std::string& option, const std::string& text, version::PackageType* type,
                     std::string* error) {
  *type = version::ParsePackageType(platform::Utf8ToWide(text.c_str()));
  if (*type < 0 || *type >= version::kPackageTypeCount) {
    *error = option + " is not a package type name: " + text;
    return false;
  }
  return true;
}

bool CheckName(const std::string& option, version::PackageType type, const std::string& name, std::string* error) {
  if (name.empty() && type != version::MAP) {
    *error = option + " must not be empty for type " + Utf8(version::PackageTypeName(type));
    return false;
  }
  return CheckText(option, name, error);
}

// TYPE,NAME,PART,MAJOR,MINOR,DATE.
bool ParsePrerequisite(const std::string& text, CVersionInfo* entry, std::string* error) {
  std::vector<std::string> fields;
  std::stringstream stream(text);
  for (std::string field; std::getline(stream, field, ',');) fields.push_back(field);
  if (!text.empty() && text.back() == ',') fields.emplace_back();
  if (fields.size() != 6) {
    *error = "--prerequisite needs TYPE,NAME,PART,MAJOR,MINOR,DATE: " + text;
    return false;
  }
  VersionNumber value;
  if (!ParseTypeOption("--prerequisite type", fields[0], &entry->Type, error) ||
      !CheckName("--prerequisite name", entry->Type, fields[1], error) ||
      !CheckText("--prerequisite part", fields[2], error) ||
      !ParseNumber("--prerequisite major", fields[3], &value.Major, error) ||
      !ParseNumber("--prerequisite minor", fields[4], &value.Minor, error) ||
      !ParseDateOption("--prerequisite date", fields[5], &value.Date, error)) {
    return false;
  }
  entry->SetName(platform::Utf8ToWide(fields[1].c_str()));
  entry->SetPartNumber(platform::Utf8ToWide(fields[2].c_str()));
  entry->SetVersionData(value);
  return true;
}

int Write(int argc, char** argv) {
  std::string file;
  std::vector<std::pair<std::string, std::string>> options;
  bool modified = false;
  for (int i = 3; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--modified") {
      modified = true;
    } else if (argument.size() > 2 && argument.compare(0, 2, "--") == 0) {
      if (i + 1 >= argc) return Usage();
      options.emplace_back(argument, argv[++i]);
    } else if (file.empty() && !argument.empty()) {
      file = argument;
    } else {
      return Usage();
    }
  }
  std::string typeText;
  std::string name;
  bool hasName = false;
  for (const auto& [option, value] : options) {
    if (option == "--type") typeText = value;
    if (option == "--name") {
      name = value;
      hasName = true;
    }
  }
  if (file.empty() || typeText.empty() || !hasName) return Usage();

  std::string error;
  version::PackageType type = version::UNKNOWN;
  if (!ParseTypeOption("--type", typeText, &type, &error) || !CheckName("--name", type, name, &error)) {
    return Fail(error);
  }
  std::u16string path;
  if (!DevicePath(file, &path)) return Fail(file + kUnnamable);
  std::unique_ptr<CVersionInfo> record =
      version::CreateVersionRecord(type, path, platform::Utf8ToWide(name.c_str()));
  record->Type = type;
  CMapVersion* map = dynamic_cast<CMapVersion*>(record.get());
  VersionNumber value;
  for (const auto& [option, text] : options) {
    bool ok = true;
    bool mapOption = option == "--map-name" || option == "--category";
    if (mapOption && map == nullptr) {
      error = option + " is for type MAP only";
      ok = false;
    } else if (option == "--type" || option == "--name") {
    } else if (option == "--part") {
      ok = CheckText(option, text, &error);
      record->SetPartNumber(platform::Utf8ToWide(text.c_str()));
    } else if (option == "--major") {
      ok = ParseNumber(option, text, &value.Major, &error);
    } else if (option == "--minor") {
      ok = ParseNumber(option, text, &value.Minor, &error);
    } else if (option == "--date") {
      ok = ParseDateOption(option, text, &value.Date, &error);
    } else if (option == "--prerelease") {
      ok = CheckText(option, text, &error);
      value.SetPreRelease(platform::Utf8ToWide(text.c_str()));
    } else if (option == "--prerequisite") {
      CVersionInfo entry;
      ok = ParsePrerequisite(text, &entry, &error);
      record->Prerequisites.push_back(entry);
    } else if (option == "--map-name") {
      ok = CheckText(option, text, &error);
      map->MapName = platform::Utf8ToWide(text.c_str());
    } else if (option == "--category") {
      ok = CheckText(option, text, &error);
      map->Categories.push_back(platform::Utf8ToWide(text.c_str()));
    } else {
      return Usage();
    }
    if (!ok) return Fail(error);
  }
  if (modified) {
    if (map == nullptr) return Fail("--modified is for type MAP only");
    map->Modified = true;
  }
  record->SetVersionData(value);
  record->PrerequisiteCount = static_cast<std::int32_t>(record->Prerequisites.size());
  platform::SetLastErrorCode(0);
  record->Write();
  platform::Dword written = platform::LastError();

  // Write reports nothing: what it left is read back as the device would.
  std::unique_ptr<CVersionInfo> check = version::CreateVersionRecord(type, record->Path, u"");
  if (!check->Read() || version::CompareRecords(*check, *record) != 0 ||
      check->PrerequisiteCount != record->PrerequisiteCount) {
    return Fail("cannot write " + file + (written != 0 ? ": " + platform::ErrorText(written) : std::string()));
  }
  return 0;
}

std::string Json(const std::u16string& text) { return tools::JsonString(Utf8(text)); }

std::string JsonVersion(VersionNumber* value) {
  if (value == nullptr) return "null";
  return "{\"major\":" + std::to_string(value->Major) + ",\"minor\":" + std::to_string(value->Minor) +
         ",\"date\":" + Json(value->GetDateText()) + ",\"preRelease\":" + Json(value->PreRelease) +
         ",\"text\":" + Json(value->GetDisplayText()) + "}";
}

std::string JsonBody(CVersionInfo& record) {
  return "\"type\":" + Json(version::PackageTypeName(record.Type)) + ",\"name\":" + Json(record.Name) +
         ",\"partNumber\":" + Json(record.PartNumber) + ",\"version\":" + JsonVersion(record.VersionData.get());
}

std::string FileJson(const std::string& path, CVersionInfo& record, CMapVersion* map) {
  std::string line = "{\"path\":" + Json(platform::Utf8ToWide(path.c_str())) + "," + JsonBody(record) +
                     ",\"formatVersion\":" + JsonVersion(record.FormatVersion.get()) + ",\"prerequisites\":[";
  for (std::int32_t i = 0; i < record.PrerequisiteCount; ++i) {
    line += (i == 0 ? "{" : ",{") + JsonBody(record.Prerequisites[i]) + "}";
  }
  line += "]";
  if (map != nullptr) {
    line += ",\"map\":{\"mapName\":" + Json(map->MapName) + ",\"modified\":" + (map->Modified ? "true" : "false") +
            ",\"categories\":[";
    for (std::size_t i = 0; i < map->Categories.size(); ++i) line += (i == 0 ? "" : ",") + Json(map->Categories[i]);
    line += "]}";
  }
  return line + "}";
}

int Show(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> files;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) return Usage();
  int status = 0;
  std::vector<std::string> shown;
  std::vector<std::string> refused;
  for (const std::string& file : files) {
    std::u16string path;
    if (!DevicePath(file, &path)) {
      std::cerr << "zampack version show: " << file << kUnnamable << "\n";
      status = 1;
      continue;
    }
    std::unique_ptr<CVersionInfo> record = std::make_unique<CVersionInfo>(path);
    bool read = record->Read();
    // A map's own data is read by its own record.
    if (read && record->Type == version::MAP) {
      record = std::make_unique<CMapVersion>(path);
      read = record->Read();
    }
    if (!read) {
      std::cerr << "zampack version show: " << file << ": not a version file the device reads\n";
      refused.push_back("{\"path\":" + Json(platform::Utf8ToWide(file.c_str())) +
                        ",\"reason\":\"not a version file the device reads\"}");
      status = 1;
      continue;
    }
    if (json) {
      shown.push_back(FileJson(file, *record, dynamic_cast<CMapVersion*>(record.get())));
    } else {
      std::cout << file << "\t" << Utf8(version::PackageTypeName(record->Type)) << "\t" << Utf8(record->Name) << "\t"
                << Utf8(record->PartNumber) << "\t" << Utf8(record->GetVersionText()) << "\t"
                << record->PrerequisiteCount << "\n";
    }
  }
  if (json) {
    std::string out = "{\"files\":[";
    for (std::size_t i = 0; i < shown.size(); ++i) out += (i == 0 ? "\n" : ",\n") + shown[i];
    out += "],\n\"refused\":[";
    for (std::size_t i = 0; i < refused.size(); ++i) out += (i == 0 ? "" : ",") + refused[i];
    std::cout << out << "]}\n";
  }
  return status;
}

}  // namespace

int VersionCommand(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[2], "write") == 0) return Write(argc, argv);
  if (argc >= 3 && std::strcmp(argv[2], "show") == 0) return Show(argc, argv);
  return Usage();
}

}  // namespace zampack
