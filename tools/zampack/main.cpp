// zampack: builds, lists and verifies update packages on a release
// engineer's machine.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "tools/common/count.h"
#include "tools/common/base_record.h"
#include "tools/common/device_folder.h"
#include "tools/zampack/config_show.h"
#include "tools/zampack/build.h"
#include "tools/zampack/inspect.h"
#include "tools/zampack/manifest.h"
#include "tools/zampack/package_image.h"
#include "tools/zampack/sign.h"
#include "tools/zampack/version_command.h"
#include "tools/zampack/tree.h"
#include "version/package_type.h"

namespace {

using namespace zampack;

// Exit codes: a package that cannot be made as asked, and a command line or
// a source tree that cannot be used.
constexpr int kRefused = 1;
constexpr int kCannotRead = 2;

const char* const kUsage =
    "usage: zampack COMMAND [ARGUMENTS]\n"
    "\n"
    "  build     a package that adds every file and folder of a tree\n"
    "  diff      a package that turns one tree into another\n"
    "  manifest  a package with every record field set by hand\n"
    "  list      the header and the records of a package\n"
    "  verify    the checksum and the structure of a package, and its signature\n"
    "  sign      writes a package's minisign signature (PACKAGE.minisig)\n"
    "  check     a device against the base a package was made against\n"
    "  version   writes and shows the version files of content items\n"
    "  config    shows a device service configuration file as the device reads it\n"
    "\n"
    "zampack COMMAND --help tells more. The same inputs always give the same bytes.\n";

const char* const kTreeHelp =
    "Options:\n"
    "  --type TYPE     a package type name (MAP, VOICE, ...) or its number\n"
    "  --name NAME     the package's Name (for ICONS, LANGUAGE_PACKAGE, MAP,\n"
    "                  PRODUCT_CONFIG and VOICE also the folder it goes into)\n"
    "  --detail TEXT   the package's Detail, shown on the device\n"
    "  --level N       zlib level 1 (fastest) to 9 (smallest, the default)\n"
    "  --jobs N        compress with N threads (default: one per core); the\n"
    "                  package's bytes are the same for any N\n"
    "\n"
    "Paths are stored as \\folder\\name in the device's 8-bit code page (Latin-1).\n"
    "Read-only files are marked read-only. A symbolic link to a file is stored\n"
    "as the file it points to; a link to a folder, a loop and a broken link are\n"
    "refused with the link's path, as are names the device cannot hold (outside\n"
    "Latin-1, Windows' reserved characters, two names that differ only in\n"
    "letter case). A Name or Detail outside Latin-1 is refused: the device would\n"
    "read it as empty. A package that would be written inside a source tree\n"
    "is refused. On a terminal, progress goes to standard error.\n"
    "\n"
    "Exit codes: 0 done; 1 the package cannot be made as asked (type, Name,\n"
    "Detail, a path or file too long or too large, nothing to deliver); 2 a\n"
    "wrong command line, or a source tree that cannot be read (the message\n"
    "names the path and the system's reason).\n";

const std::map<std::string, std::string> kHelp = {
    {"build",
     std::string("usage: zampack build --type TYPE --name NAME [--detail TEXT] [--level N] [--jobs N] DIR -o PACKAGE\n"
                 "\n"
                 "Adds every file and folder under DIR: folder records first, then their\n"
                 "contents, names in byte order; each file compressed with zlib.\n\n") +
         kTreeHelp},
    {"diff",
     std::string("usage: zampack diff --type TYPE --name NAME [--detail TEXT] [--level N] [--jobs N] OLD NEW\n"
                 "                    (-o PACKAGE | --stat)\n"
                 "\n"
                 "The change list that turns tree OLD into tree NEW: files and folders that\n"
                 "are new are added, files whose content or read-only attribute differs are\n"
                 "changed, and files and folders that are gone are removed (a removed folder\n"
                 "once, with all below it). Only new and changed files are delivered. Names\n"
                 "compare without regard to ASCII letter case, as on the device; a file\n"
                 "renamed only in case is delivered again under its new name (a folder\n"
                 "keeps its old case). When the trees hold the same, no package is written.\n"
                 "Beside the package, PACKAGE.base.json records the base it was made\n"
                 "against: OLD's name and the MD5 of every file it changes or removes\n"
                 "(zampack check and orvanta-sim try check a device against it).\n"
                 "--stat prints the totals (records by kind, bytes unpacked and stored)\n"
                 "instead of writing a package.\n\n") +
         kTreeHelp},
    {"version", kVersionHelp},
    {"config", kConfigHelp},
    {"manifest", std::string("usage: zampack manifest MANIFEST -o PACKAGE\n\n") + kManifestHelp},
    {"list",
     "usage: zampack list [--json] PACKAGE\n"
     "\n"
     "Prints the header fields, the change records and the file records.\n"
     "--json prints them as one JSON document, with the totals by change kind\n"
     "and the bytes stored and unpacked. A file that cannot be read or is not\n"
     "a package (no ZAM_UPDATE_FILE identifier) is named with the reason on\n"
     "standard error, and the exit code is 1.\n"},
    {"check",
     "usage: zampack check --device DEVICE [--json] PACKAGE\n"
     "\n"
     "Checks a device against the base PACKAGE was made against, without\n"
     "running the update: zampack diff records the old tree beside the package,\n"
     "in PACKAGE.base.json, with the MD5 of every file the package changes or\n"
     "removes. DEVICE is a simulated device (orvanta-sim init) or a copy of a\n"
     "real device's drives (DEVICE/C/...); the package's folder there comes\n"
     "from the device's descriptor (C:\\Orvanta\\Update\\UpdateInfo.xml), or the\n"
     "locations of orvanta-sim init without one. Prints each file that is\n"
     "missing or differs; --json prints one JSON document. Exit codes: 0 the\n"
     "device holds the base, 1 it does not, 2 no base record or no device.\n"},
    {"sign", kSignHelp},
    {"verify",
     "usage: zampack verify [--key KEY.pub] [--json] PACKAGE\n"
     "\n"
     "Checks the identifier, AppIndex, type, the checksum over the body, that\n"
     "both tables lie in the package and hold whole records, every record path\n"
     "(terminated, staying below the destination), that Name and Detail are\n"
     "texts the device can read, and that every file the device would write\n"
     "has a stream inside the package that inflates to its size. Prints one\n"
     "line per fault and exits with 1 when there is any. --json prints one\n"
     "JSON document: the package, ok, the record counts and the faults.\n"
     "\n"
     "--key KEY.pub: the signature PACKAGE.minisig must also be one that a device\n"
     "holding the minisign public keys of KEY.pub accepts (made by one of them,\n"
     "over the whole package, with its trusted comment intact); which key signed\n"
     "and the trusted comment are printed, and in the JSON document under\n"
     "\"signature\".\n"},
};

int Fail(const std::string& command, const std::string& message, int code) {
  std::cerr << "zampack " << command << ": " << message << "\n";
  return code;
}

int Usage(const std::string& command, const std::string& problem) {
  const std::string& help = kHelp.at(command);
  std::cerr << "zampack " << command << ": " << problem << "\n"
            << help.substr(0, help.find("\n\n") + 1) << "zampack " << command << " --help tells more.\n";
  return kCannotRead;
}

struct Arguments {
  std::map<std::string, std::string> options;
  std::vector<std::string> plain;
  bool stat = false;
  bool json = false;
};

// False with the problem (an unknown option is named) in `problem`.
bool ParseArguments(const std::string& command, int argc, char** argv, Arguments* arguments, std::string* problem) {
  const std::vector<std::string> valued =
      command == "list"     ? std::vector<std::string>{}
      : command == "verify" ? std::vector<std::string>{"--key"}
      : command == "check"  ? std::vector<std::string>{"--device"}
                                               : std::vector<std::string>{"--type", "--name", "--detail", "-o",
                                                                          "--level", "--jobs"};
  for (int i = 2; i < argc; ++i) {
    std::string argument = argv[i];
    bool takesValue = false;
    for (const std::string& name : valued) takesValue = takesValue || argument == name;
    if (takesValue) {
      if (i + 1 >= argc) {
        *problem = "option " + argument + " needs a value";
        return false;
      }
      if (!arguments->options.emplace(argument, argv[++i]).second) {
        *problem = "option " + argument + " is given twice";
        return false;
      }
    } else if (argument == "--stat" && command == "diff") {
      arguments->stat = true;
    } else if (argument == "--json" && (command == "list" || command == "verify" || command == "check")) {
      arguments->json = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      *problem = "unknown option " + argument;
      return false;
    } else {
      arguments->plain.push_back(argument);
    }
  }
  return true;
}

std::string ValidTypes() {
  std::string names;
  for (int type = 0; type < version::kPackageTypeCount; ++type) {
    names += (type == 0 ? "" : ", ") + platform::WideToUtf8(version::PackageTypeName(type)) + " (" +
             std::to_string(type) + ")";
  }
  return names;
}

bool ParseCount(const std::string& text, unsigned low, unsigned high, unsigned* value) {
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  *value = static_cast<unsigned>(std::stoul(text));
  return *value >= low && *value <= high;
}

// Whether the file `output` would lie in the folder `tree` or below it: the
// package would overwrite a file of the tree, or be packed by the next build.
bool InsideTree(const std::string& output, const std::string& tree) {
  std::error_code code;
  std::filesystem::path folder = std::filesystem::weakly_canonical(
      std::filesystem::absolute(HostPath(output), code), code).parent_path();
  for (; !folder.empty(); folder = folder.parent_path()) {
    if (std::filesystem::equivalent(folder, HostPath(tree), code)) return true;
    if (folder == folder.parent_path()) break;
  }
  return false;
}

// Writes beside the target and renames, so that a failed write never leaves
// a file that looks whole.
bool WriteText(const std::string& path, const std::string& text, std::string* error) {
  std::string temporary = path + ".partial";
  errno = 0;
  std::ofstream out(HostPath(temporary), std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  std::error_code code;
  if (!out) {
    *error = temporary + ": " + (errno != 0 ? std::strerror(errno) : "cannot be written");
    std::filesystem::remove(HostPath(temporary), code);
    return false;
  }
  std::filesystem::rename(HostPath(temporary), HostPath(path), code);
  if (code) {
    *error = path + ": " + code.message();
    std::filesystem::remove(HostPath(temporary), code);
    return false;
  }
  return true;
}

bool WritePackage(const std::string& path, PackageImage& image, std::string* error) {
  std::string bytes;
  return EncodeImage(image, &bytes, error) && WriteText(path, bytes, error);
}

// The base record of a diff: the old tree's name, and the old bytes of every
// file the plan changes or removes; false with the path when one cannot be read.
bool MakeBase(const std::string& oldRoot, const std::vector<TreeEntry>& oldTree, const std::vector<PlannedChange>& plan,
              tools::BaseRecord* base, std::string* error) {
  std::map<std::string, const TreeEntry*> old;
  for (const TreeEntry& entry : oldTree) old[tools::FoldCase(entry.path)] = &entry;
  std::error_code code;
  base->tree = platform::WideToUtf8(std::filesystem::weakly_canonical(HostPath(oldRoot), code).filename().u16string());
  for (const PlannedChange& change : plan) {
    if (change.added) continue;
    auto found = old.find(tools::FoldCase(change.entry.path));
    if (found == old.end()) continue;
    tools::BaseFile file;
    file.path = platform::NarrowToUtf8(change.entry.path);
    file.folder = found->second->isFolder;
    if (!file.folder) {
      file.md5 = tools::FileMd5(HostPath(found->second->hostPath));
      if (file.md5.empty()) {
        *error = found->second->hostPath + ": cannot be read for the base record";
        return false;
      }
    }
    base->files.push_back(file);
  }
  return true;
}

// "412 of 600 files, 87.3 of 124.0 MB, 4.1 s", redrawn on one line.
class Progress {
 public:
  Progress(std::string command, std::size_t files, std::uint64_t bytes)
      : command_(std::move(command)), files_(files), bytes_(bytes), shown_(platform::StandardErrorIsTerminal()),
        start_(std::chrono::steady_clock::now()) {}

  void Show(const char* phase, std::size_t files, std::uint64_t bytes) {
    if (!shown_) return;
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    // A build that ends at once needs no progress.
    if (!drawn_ && seconds < 0.5) return;
    char line[160];
    std::snprintf(line, sizeof(line), "\rzampack %s: %s %zu of %zu files, %.1f of %.1f MB, %.1f s   ",
                  command_.c_str(), phase, files, files_, bytes / 1e6, bytes_ / 1e6, seconds);
    std::cerr << line << std::flush;
    drawn_ = true;
  }
  void End() {
    if (drawn_) std::cerr << "\n";
    drawn_ = false;
  }

 private:
  std::string command_;
  std::size_t files_;
  std::uint64_t bytes_;
  bool shown_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
};

void PrintStat(const Totals& t) {
  using tools::Count;
  std::printf("added:     %s, %s\n", Count(t.filesAdded, "file").c_str(), Count(t.foldersAdded, "folder").c_str());
  std::printf("changed:   %s (%zu of them in attributes only)\n", Count(t.filesChanged, "file").c_str(),
              t.attributesOnly);
  std::printf("removed:   %s, %s\n", Count(t.filesRemoved, "file").c_str(), Count(t.foldersRemoved, "folder").c_str());
  std::printf("delivered: %s, %llu bytes unpacked, %llu bytes stored\n", Count(t.filesAdded + t.filesChanged, "file").c_str(),
              static_cast<unsigned long long>(t.unpacked), static_cast<unsigned long long>(t.stored));
}

int BuildOrDiff(const std::string& command, const Arguments& arguments) {
  std::size_t trees = command == "build" ? 1 : 2;
  const auto& options = arguments.options;
  if (arguments.plain.size() != trees) {
    return Usage(command, trees == 1 ? "give one source folder" : "give the old and the new folder");
  }
  for (const char* required : {"--type", "--name"}) {
    if (options.count(required) == 0) return Usage(command, std::string("option ") + required + " is missing");
  }
  if (arguments.stat == (options.count("-o") != 0)) {
    return Usage(command, arguments.stat ? "--stat writes no package: leave out -o" : "option -o is missing");
  }
  unsigned level = 9;
  if (options.count("--level") != 0 && !ParseCount(options.at("--level"), 1, 9, &level)) {
    return Usage(command, "--level takes a number from 1 to 9, not " + options.at("--level"));
  }
  unsigned workers = CoreCount();
  if (options.count("--jobs") != 0 && !ParseCount(options.at("--jobs"), 1, 256, &workers)) {
    return Usage(command, "--jobs takes a number from 1 to 256, not " + options.at("--jobs"));
  }

  std::uint32_t type = 0;
  if (!ParseType(options.at("--type"), &type) || type > 17) {
    return Fail(command, "unknown package type: " + options.at("--type") + "; the types are " + ValidTypes(), kRefused);
  }
  std::u16string name = platform::Utf8ToWide(options.at("--name").c_str());
  std::u16string detail =
      platform::Utf8ToWide(options.count("--detail") != 0 ? options.at("--detail").c_str() : "");
  for (const std::string& fault : {NameFault(type, name), DetailFault(detail)}) {
    if (!fault.empty()) return Fail(command, fault, kRefused);
  }
  for (const std::string& tree : arguments.plain) {
    if (options.count("-o") != 0 && InsideTree(options.at("-o"), tree)) {
      return Fail(command, "the package " + options.at("-o") + " would be written inside the tree " + tree +
                               ", over its files or into the next package made of it: write it outside the tree",
                  kCannotRead);
    }
  }
  PackageImage image;
  std::string error;
  if (!StartImage(&image, type, name, detail, &error)) return Fail(command, error, kRefused);

  std::vector<TreeEntry> newTree;
  if (!ScanTree(arguments.plain.back(), &newTree, &error)) return Fail(command, error, kCannotRead);
  std::vector<PlannedChange> plan;
  tools::BaseRecord base;
  base.type = platform::WideToUtf8(version::PackageTypeName(static_cast<int>(type)));
  base.name = platform::WideToUtf8(name);
  if (trees == 1) {
    plan = AddEverything(newTree);
  } else {
    std::vector<TreeEntry> oldTree;
    if (!ScanTree(arguments.plain.front(), &oldTree, &error)) return Fail(command, error, kCannotRead);
    if (!PlanDiff(oldTree, newTree, &plan, &error)) return Fail(command, error, kCannotRead);
    if (!arguments.stat && !MakeBase(arguments.plain.front(), oldTree, plan, &base, &error)) {
      return Fail(command, error, kCannotRead);
    }
    if (plan.empty()) {
      std::cerr << "zampack diff: " << arguments.plain[0] << " and " << arguments.plain[1]
                << " hold the same files and folders: nothing to deliver"
                << (arguments.stat ? "" : ", no package written") << "\n";
      if (!arguments.stat) return kRefused;
    }
  }

  std::size_t files = 0;
  std::uint64_t bytes = 0;
  for (const PlannedChange& change : plan) {
    if (change.entry.isFolder || change.removed) continue;
    ++files;
    bytes += change.entry.size;
  }
  Progress progress(command, files, bytes);
  Totals totals;
  BuildResult result = AddPlan(
      plan, static_cast<int>(level), workers,
      [&](std::size_t done, std::uint64_t doneBytes) { progress.Show("compressing", done, doneBytes); }, &image,
      &totals, &error);
  progress.End();
  if (result != BuildResult::Done) {
    return Fail(command, error, result == BuildResult::Refused ? kRefused : kCannotRead);
  }
  if (arguments.stat) {
    PrintStat(totals);
    return 0;
  }
  if (!WritePackage(options.at("-o"), image, &error)) return Fail(command, error, kRefused);
  // A build has no base; a record left from an earlier diff would be false.
  std::string basePath = tools::BasePathOf(options.at("-o"));
  std::error_code code;
  if (trees == 1) {
    std::filesystem::remove(HostPath(basePath), code);
  } else if (!WriteText(basePath, tools::BaseJson(base), &error)) {
    return Fail(command, error, kRefused);
  }
  return 0;
}

int Manifest(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[3], "-o") != 0) return Usage("manifest", "give MANIFEST -o PACKAGE");
  PackageImage image;
  std::string error;
  if (!ParseManifest(argv[2], &image, &error) || !WritePackage(argv[4], image, &error)) {
    return Fail("manifest", error, kRefused);
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
  if (plain.size() != 2 || plain[0] != "show") return Usage("config", "give show FILE");
  return ShowServiceConfig(plain[1], json, std::cout, std::cerr) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Trees, packages and files are named as the host names them.
  platform::UseHostPaths();
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    (argc < 2 ? std::cerr : std::cout) << kUsage;
    return argc < 2 ? kCannotRead : 0;
  }
  std::string command = argv[1];
  if (kHelp.count(command) == 0) {
    std::cerr << "zampack: unknown command " << command << "\n" << kUsage;
    return kCannotRead;
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
  if (command == "sign") return SignCommand(argc, argv);
  Arguments arguments;
  std::string problem;
  if (!ParseArguments(command, argc, argv, &arguments, &problem)) return Usage(command, problem);
  if (command == "check") {
    if (arguments.plain.size() != 1 || arguments.options.count("--device") == 0) {
      return Usage(command, "give --device DEVICE and one package");
    }
    int code = 0;
    CheckDevice(arguments.options.at("--device"), arguments.plain[0], arguments.json, std::cout, std::cerr, &code);
    return code;
  }
  if (command == "list" || command == "verify") {
    if (arguments.plain.size() != 1) return Usage(command, "give one package");
    const std::string& path = arguments.plain[0];
    std::string key = arguments.options.count("--key") != 0 ? arguments.options.at("--key") : "";
    bool ok = command == "verify"  ? VerifyPackage(path, key, arguments.json, std::cout, std::cerr)
              : arguments.json     ? ListPackageJson(path, std::cout, std::cerr)
                                   : ListPackage(path, std::cout, std::cerr);
    return ok ? 0 : 1;
  }
  return BuildOrDiff(command, arguments);
}
