// zampack: builds, lists and verifies update packages on a release
// engineer's machine.
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tools/zampack/config_show.h"
#include "tools/zampack/inspect.h"
#include "tools/zampack/manifest.h"
#include "tools/zampack/package_image.h"
#include "tools/zampack/version_command.h"

namespace {

using namespace zampack;

const char* const kUsage =
    "usage: zampack COMMAND [ARGUMENTS]\n"
    "\n"
    "  build     a package that adds every file and folder of a tree\n"
    "  diff      a package that turns one tree into another\n"
    "  manifest  a package with every record field set by hand\n"
    "  list      the header and the records of a package\n"
    "  verify    the checksum and the structure of a package\n"
    "  version   writes and shows the version files of content items\n"
    "  config    shows a device service configuration file as the device reads it\n"
    "\n"
    "zampack COMMAND --help tells more. The same inputs always give the same bytes.\n";

const std::map<std::string, std::string> kHelp = {
    {"build",
     "usage: zampack build --type TYPE --name NAME [--detail TEXT] DIR -o PACKAGE\n"
     "\n"
     "Adds every file and folder under DIR: folder records first, then their\n"
     "contents, names in byte order; each file compressed with zlib, read-only\n"
     "files marked read-only. TYPE is a package type name (MAP, VOICE, ...) or\n"
     "its number. Paths are stored as \\folder\\name in the device's 8-bit code page.\n"},
    {"diff",
     "usage: zampack diff --type TYPE --name NAME [--detail TEXT] OLD NEW -o PACKAGE\n"
     "\n"
     "The change list that turns tree OLD into tree NEW: files and folders that\n"
     "are new are added, files whose content differs are changed, and files and\n"
     "folders that are gone are removed (a removed folder once, with all below\n"
     "it). Only new and changed files are delivered. Names compare without\n"
     "regard to ASCII letter case, as on the device; a file renamed only in\n"
     "case is delivered again under its new name (a folder keeps its old case).\n"},
    {"version", kVersionHelp},
    {"config", kConfigHelp},
    {"manifest", std::string("usage: zampack manifest MANIFEST -o PACKAGE\n\n") + kManifestHelp},
    {"list",
     "usage: zampack list PACKAGE\n"
     "\n"
     "Prints the header fields, the change records and the file records.\n"},
    {"verify",
     "usage: zampack verify PACKAGE\n"
     "\n"
     "Checks the identifier, AppIndex, type, the checksum over the body, that\n"
     "both tables lie in the package and hold whole records, every record path\n"
     "(terminated, staying below the destination), and that every file the\n"
     "device would write has a stream inside the package that inflates to its\n"
     "size. Prints one line per fault and exits with 1 when there is any.\n"},
};

int Fail(const std::string& command, const std::string& message) {
  std::cerr << "zampack " << command << ": " << message << "\n";
  return 1;
}

int Usage(const std::string& command) {
  std::cerr << kHelp.at(command);
  return 2;
}

// The options and plain arguments of build and diff.
struct Arguments {
  std::map<std::string, std::string> options;
  std::vector<std::string> plain;
};

bool ParseArguments(int argc, char** argv, Arguments* arguments) {
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--type" || argument == "--name" || argument == "--detail" || argument == "-o") {
      if (i + 1 >= argc) return false;
      arguments->options[argument] = argv[++i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      return false;
    } else {
      arguments->plain.push_back(argument);
    }
  }
  return true;
}

bool WritePackage(const std::string& path, PackageImage& image, std::string* error) {
  std::string bytes;
  if (!EncodeImage(image, &bytes, error)) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

bool StartFromOptions(const Arguments& arguments, PackageImage* image, std::string* error) {
  std::uint32_t type = 0;
  if (!ParseType(arguments.options.at("--type"), &type) || type > 17) {
    *error = "unknown package type: " + arguments.options.at("--type");
    return false;
  }
  auto detail = arguments.options.find("--detail");
  return StartImage(image, type, platform::Utf8ToWide(arguments.options.at("--name").c_str()),
                    platform::Utf8ToWide(detail == arguments.options.end() ? "" : detail->second.c_str()), error);
}

int Build(const std::string& command, const Arguments& arguments, std::size_t trees) {
  if (arguments.plain.size() != trees || arguments.options.count("--type") == 0 ||
      arguments.options.count("--name") == 0 || arguments.options.count("-o") == 0) {
    return Usage(command);
  }
  PackageImage image;
  std::string error;
  if (!StartFromOptions(arguments, &image, &error)) return Fail(command, error);
  std::vector<TreeEntry> newTree;
  if (!ScanTree(arguments.plain.back(), &newTree, &error)) return Fail(command, error);

  if (trees == 1) {
    for (const TreeEntry& entry : newTree) {
      if (!AddEntry(&image, entry, true, false, false, &error)) return Fail(command, error);
    }
  } else {
    std::vector<TreeEntry> oldTree;
    if (!ScanTree(arguments.plain.front(), &oldTree, &error)) return Fail(command, error);
    // Keyed on the folded path and the kind: a file that became a folder is
    // removed as a file and added as a folder.
    auto key = [](const TreeEntry& entry) { return package::FoldPath(entry.path) + (entry.isFolder ? "\\" : ""); };
    std::map<std::string, const TreeEntry*> oldByKey;
    std::map<std::string, const TreeEntry*> newByKey;
    for (const TreeEntry& entry : oldTree) oldByKey[key(entry)] = &entry;
    for (const TreeEntry& entry : newTree) newByKey[key(entry)] = &entry;
    // Additions first: where a folder became a file, the file's record must
    // be the first of its path, since the first one decides.
    for (const TreeEntry& entry : newTree) {
      auto old = oldByKey.find(key(entry));
      bool ok = true;
      if (old == oldByKey.end()) {
        ok = AddEntry(&image, entry, true, false, false, &error);
      } else if (!entry.isFolder) {
        std::string before;
        std::string after;
        if (!ReadHostFile(old->second->hostPath, &before) || !ReadHostFile(entry.hostPath, &after)) {
          return Fail(command, "cannot read " + entry.hostPath);
        }
        // A file renamed only in letter case is delivered again: stage 6
        // deletes the old name, stage 3 writes the new one.
        bool renamed = old->second->path != entry.path;
        if (before != after || renamed) ok = AddEntry(&image, entry, false, true, false, &error);
      }
      if (!ok) return Fail(command, error);
    }
    for (const TreeEntry& entry : oldTree) {
      if (newByKey.count(key(entry)) != 0) continue;
      // Below a removed folder the folder's own removal does it all.
      std::size_t cut = entry.path.rfind('\\');
      std::string parent = package::FoldPath(entry.path.substr(0, cut)) + "\\";
      if (cut != 0 && newByKey.count(parent) == 0) continue;
      if (!AddEntry(&image, entry, false, false, true, &error)) return Fail(command, error);
    }
  }
  if (!WritePackage(arguments.options.at("-o"), image, &error)) return Fail(command, error);
  return 0;
}

int Manifest(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[3], "-o") != 0) return Usage("manifest");
  PackageImage image;
  std::string error;
  if (!ParseManifest(argv[2], &image, &error) || !WritePackage(argv[4], image, &error)) {
    return Fail("manifest", error);
  }
  return 0;
}

int Config(int argc, char** argv) {
  bool json = false;
  std::vector<std::string> plain;
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else {
      plain.push_back(argv[i]);
    }
  }
  if (plain.size() != 2 || plain[0] != "show") return Usage("config");
  return ShowServiceConfig(plain[1], json, std::cout, std::cerr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    (argc < 2 ? std::cerr : std::cout) << kUsage;
    return argc < 2 ? 2 : 0;
  }
  std::string command = argv[1];
  if (kHelp.count(command) == 0) {
    std::cerr << "zampack: unknown command " << command << "\n" << kUsage;
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::cout << kHelp.at(command);
      return 0;
    }
  }
  if (command == "manifest") return Manifest(argc, argv);
  if (command == "version") return VersionCommand(argc, argv);
  if (command == "config") return Config(argc, argv);
  if (command == "list" || command == "verify") {
    if (argc != 3) return Usage(command);
    bool ok = command == "list" ? ListPackage(argv[2], std::cout, std::cerr) : VerifyPackage(argv[2], std::cout, std::cerr);
    return ok ? 0 : 1;
  }
  Arguments arguments;
  if (!ParseArguments(argc, argv, &arguments)) return Usage(command);
  return Build(command, arguments, command == "build" ? 1 : 2);
}
