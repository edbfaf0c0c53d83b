#pragma once
// The base a package was made against. zampack diff writes it beside the
// package, as PACKAGE.base.json, so that the package format stays the
// device's: the old tree's name, the package's type and Name, and for every
// file the package changes or removes (and every folder it removes) its path
// and the MD5 of the base's bytes. A device is checked against it before the
// package is shipped.
#include <filesystem>
#include <string>
#include <vector>

namespace tools {

struct BaseFile {
  std::string path;  // "\sub\name", UTF-8, below the package's folder
  bool folder = false;
  std::string md5;  // lower-case hex; empty for a folder
};

struct BaseRecord {
  std::string tree;  // the name of the folder the package was made from
  std::string type;  // SOFTWARE, LANGUAGE_PACKAGE, ...
  std::string name;  // the package's Name
  std::vector<BaseFile> files;
};

// PACKAGE.base.json.
std::string BasePathOf(const std::string& package);

std::string BaseJson(const BaseRecord& base);

// False with the reason when `text` is not such a record.
bool ParseBase(const std::string& text, BaseRecord* base, std::string* error);

// The MD5 of a host file in lower-case hex; empty when it cannot be read.
std::string FileMd5(const std::filesystem::path& path);

// A file or folder where a device is not the base.
struct BaseFinding {
  std::string path;  // device path, UTF-8
  std::string code;  // base-file-missing, base-file-differs, base-kind-differs
  std::string text;  // "PATH: what differs"
};

// Where the device in `root` is not the base, one finding per file. The
// package's folder comes from the device's descriptor, or from the locations
// of orvanta-sim init without one.
std::vector<BaseFinding> CheckBase(const BaseRecord& base, const std::filesystem::path& root);

}  // namespace tools
