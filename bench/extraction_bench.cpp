// Extraction against the device's own steps and the standard tools, on the
// same input in the same run, the variants interleaved round by round:
//  - large files: stage 3 (bCopyFiles, its read-back check included)
//    inflating 64 MiB of zlib streams into files on the simulated device,
//    against the same steps in plain POSIX calls (bench/posix_floor.cpp), and
//    against zlib's uncompress of the same streams into reused memory and
//    into pages never touched before;
//  - small files: 5,000 files of 1-20 KiB in 130 folders: stages 7 and 3
//    against the plain-POSIX steps (folders made, then each file as above),
//    and the whole path from bOpenUpdateFile to bCloseUpdateFile against unzip
//    of a zip of the same files followed by the same unbuffered read-back;
//  - one folder: 1,000, 10,000 and 50,000 new files of 0.5-2 KiB in one
//    folder, stage 3 against the plain-POSIX steps, as time per file.
// Every round writes into empty folders of its own and nothing is deleted
// until the end: ext4 passes over inodes freed in the last minutes when it
// creates files, which would charge a round for the deletions of the one
// before. Reported: min and median of the rounds, and each reference's time
// over the tool's (1.00x: as fast as the reference).
//
//   cd <a folder, not tmpfs> && ORVANTA_DEVICE_ROOT=$PWD/bench-device ORVANTA_SIM_TIME_SCALE=0 extraction_bench
//   extraction_bench [--rounds=N] [--only=large|small|folder] [--folder-sizes=1000,10000]
//   extraction_bench --syscalls=tool|floor|none   (one pass of the small files, for strace; bench/syscalls.sh)
// bench/run.sh runs it on a journaled ext4 image of its own where it can mount one.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/run_state.h"
#include "bench/posix_floor.h"
#include "package/extraction.h"
#include "package/folder_stages.h"
#include "package/package.h"
#include "package/verify.h"
#include "platform/file.h"
#include "tools/zampack/build.h"
#include "tools/zampack/package_image.h"
#include "version/package_type.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMiB = 1048576.0;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Times {
  std::vector<double> all;
  double Min() const { return *std::min_element(all.begin(), all.end()); }
  double Median() const {
    std::vector<double> sorted = all;
    std::sort(sorted.begin(), sorted.end());
    std::size_t n = sorted.size();
    return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
  }
};

void PrintTimes(const char* name, const Times& t, double unit, const char* unitName) {
  std::printf("  %-34s min %9.3f %s   median %9.3f %s\n", name, t.Min() * unit, unitName, t.Median() * unit,
              unitName);
}

// The reference's time over the tool's: 1.00x is as fast as the reference.
void PrintRatio(const char* name, const Times& tool, const Times& reference) {
  std::printf("  %-34s %.2fx by min, %.2fx by median\n", name, reference.Min() / tool.Min(),
              reference.Median() / tool.Median());
}

// Runs the variants of one round in an order that turns with the round, so
// that none always runs first on a cold cache or last on a busy machine.
void RunRound(int round, const std::vector<std::function<void()>>& variants) {
  for (std::size_t i = 0; i < variants.size(); ++i) variants[(i + static_cast<std::size_t>(round)) % variants.size()]();
}

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

bool WriteHostFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Content that compresses the way a package's files do, some parts well and
// some hardly: text from a small vocabulary, records of counters with a
// little noise, and random bytes, mixed in pieces of up to 16 KiB.
std::string Content(std::mt19937& random, std::size_t size) {
  static const char* const kWords[] = {"device", "update", "package", "folder", "record", "stream",
                                       "the",    "of",     "and",     "map",    "route",  "voice",
                                       "config", "0x1F40", "ERROR",   "value",  "=",      "<item>"};
  std::string out;
  out.reserve(size + 32);
  std::uint32_t counter = static_cast<std::uint32_t>(random());
  while (out.size() < size) {
    std::size_t end = std::min(size, out.size() + 1024 + random() % 15361);
    switch (random() % 4) {
      case 0:
      case 1:
        while (out.size() < end) {
          out += kWords[random() % std::size(kWords)];
          out += random() % 12 == 0 ? "\r\n" : " ";
        }
        break;
      case 2:
        while (out.size() < end) {
          std::uint32_t fields[4] = {counter++, 0x40000000u + counter * 16, static_cast<std::uint32_t>(random() % 64),
                                     0};
          for (std::uint32_t field : fields) {
            for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(field >> shift);
          }
        }
        break;
      default:
        while (out.size() < end) out += static_cast<char>(random());
    }
  }
  out.resize(size);
  return out;
}

zampack::PackageImage Image() {
  zampack::PackageImage image;
  std::string error;
  zampack::StartImage(&image, version::SOFTWARE, u"Bench", u"", &error);
  return image;
}

bool WritePackage(const fs::path& path, zampack::PackageImage& image, std::string* bytes) {
  std::string error;
  if (!zampack::EncodeImage(image, bytes, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  return WriteHostFile(path, *bytes);
}

// A package of files at the top of the destination, named by `name(i)`.
bool FlatPackage(const fs::path& path, const std::vector<std::string>& names, const std::vector<std::string>& contents,
                 std::string* bytes) {
  zampack::PackageImage image = Image();
  for (std::size_t i = 0; i < names.size(); ++i) {
    package::ChangeRecord change{};
    package::SetRecordPath(change.Path, "\\" + names[i]);
    change.IsAdded = 1;
    image.changes.push_back(change);
    zampack::DeliveredFile file;
    file.record.Attributes = platform::kAttributeNormal;
    package::SetRecordPath(file.record.Path, "\\" + names[i]);
    file.content = contents[i];
    image.files.push_back(std::move(file));
  }
  return WritePackage(path, image, bytes);
}

// Every entry below `root` by its relative path: a file's content, or "/"
// for a folder (no file content here is a lone slash).
std::map<std::string, std::string> ReadTree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    std::string& value = tree[fs::relative(entry.path(), root).generic_string()];
    if (entry.is_directory()) {
      value.push_back('/');
    } else {
      zampack::ReadHostFile(entry.path().string(), &value);
    }
  }
  return tree;
}

bool OpenPackage(const fs::path& path, bool verify) {
  package::Package().ChangeList.clear();
  package::Package().CopyList.clear();
  bool opened = package::bOpenUpdateFile(path.string()) && (!verify || package::bVerifyUpdateFile(path.string())) &&
                package::bCreateFileMappings(path.string()) && package::bLoadPackageTables();
  if (!opened) std::fprintf(stderr, "the package %s cannot be opened\n", path.c_str());
  return opened;
}

// The plain-POSIX counterpart of the open package's file records, below `folder`.
std::vector<bench::FloorFile> FloorFiles(const fs::path& folder) {
  std::vector<bench::FloorFile> files;
  for (const package::FileRecord& record : package::Package().CopyList) {
    std::string path;
    package::RecordPathText(record.Path, &path);
    std::replace(path.begin(), path.end(), '\\', '/');
    files.push_back({(folder / path.substr(1)).string(), package::StreamPosition(record, package::Package().DataAreaStart),
                     record.StoredSize, record.Size});
  }
  return files;
}

struct Setup {
  fs::path work;        // host folder for packages, trees, zips and the floor's files
  fs::path deviceRoot;  // the simulated device's folder
  int rounds = 5;
};

// Sets the destination of type SOFTWARE to the empty folder C:\bench\<leaf>
// and returns its host path.
fs::path UseDestination(const Setup& setup, const std::string& leaf) {
  app::Run().LocationPaths[version::SOFTWARE] = "C:\\bench\\" + leaf;
  fs::path host = setup.deviceRoot / "C" / "bench" / leaf;
  fs::create_directories(host);
  package::BuildDestinationRoot();
  return host;
}

bool BenchLarge(const Setup& setup) {
  std::mt19937 random(7);
  std::vector<std::string> names;
  std::vector<std::string> contents;
  std::map<std::string, std::string> expected;
  const std::size_t total = 64u << 20;
  std::size_t made = 0;
  for (int i = 0; made < total; ++i) {
    std::size_t size = std::min<std::size_t>((2 + i % 5) << 20, total - made);
    char name[32];
    std::snprintf(name, sizeof(name), "big%02d.bin", i);
    names.push_back(name);
    contents.push_back(Content(random, size));
    expected[name] = contents.back();
    made += size;
  }
  std::string bytes;
  fs::path packagePath = setup.work / "large.zam";
  if (!FlatPackage(packagePath, names, contents, &bytes)) return false;
  contents.clear();
  if (!OpenPackage(packagePath, false)) return false;
  const std::vector<package::FileRecord>& records = package::Package().CopyList;

  std::vector<std::vector<Bytef>> reused;
  for (const package::FileRecord& record : records) reused.emplace_back(record.Size, 1);
  auto inflateAll = [&](const std::function<Bytef*(std::size_t)>& target) {
    bool good = true;
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::uint64_t position = package::StreamPosition(records[i], package::Package().DataAreaStart);
      uLongf length = records[i].Size;
      good &= uncompress(target(i), &length, reinterpret_cast<const Bytef*>(bytes.data() + position),
                         records[i].StoredSize) == Z_OK &&
              length == records[i].Size;
    }
    return good;
  };
  inflateAll([&](std::size_t i) { return reused[i].data(); });

  Times tool, floor, intoReused, intoFresh;
  bool good = true;
  for (int round = 0; round < setup.rounds; ++round) {
    RunRound(round, {
        [&] {
          Clock::time_point start = Clock::now();
          good &= inflateAll([&](std::size_t i) { return reused[i].data(); });
          intoReused.all.push_back(Seconds(start));
        },
        [&] {
          std::vector<unsigned char*> fresh(records.size());
          for (std::size_t i = 0; i < records.size(); ++i) fresh[i] = bench::AllocateFresh(records[i].Size);
          Clock::time_point start = Clock::now();
          good &= inflateAll([&](std::size_t i) { return fresh[i]; });
          intoFresh.all.push_back(Seconds(start));
          for (std::size_t i = 0; i < records.size(); ++i) bench::FreeFresh(fresh[i], records[i].Size);
        },
        [&] {
          fs::path folder = setup.work / ("floor-large" + std::to_string(round));
          fs::create_directories(folder);
          std::vector<bench::FloorFile> files = FloorFiles(folder);
          Clock::time_point start = Clock::now();
          good &= bench::FloorExtract(packagePath.string(), files);
          floor.all.push_back(Seconds(start));
          if (round == 0) good &= ReadTree(folder) == expected;
        },
        [&] {
          fs::path destination = UseDestination(setup, "large" + std::to_string(round));
          Clock::time_point start = Clock::now();
          package::bCopyFiles();
          tool.all.push_back(Seconds(start));
          if (round == 0) good &= ReadTree(destination) == expected;
        },
    });
  }
  package::bCloseUpdateFile();
  if (!good) std::fprintf(stderr, "large files: a variant failed or wrote other bytes than the package holds\n");
  double mib = made / kMiB;
  std::printf("large files: %zu files, %.0f MiB (%.0f MiB stored), %d rounds\n", records.size(), mib,
              bytes.size() / kMiB, setup.rounds);
  PrintTimes("stage 3", tool, 1, "s");
  PrintTimes("plain-POSIX mapped floor", floor, 1, "s");
  PrintTimes("uncompress into fresh pages", intoFresh, 1, "s");
  PrintTimes("uncompress into reused memory", intoReused, 1, "s");
  std::printf("  stage 3 %.0f MiB/s by median\n", mib / tool.Median());
  PrintRatio("stage 3 / floor", tool, floor);
  PrintRatio("stage 3 / uncompress, fresh pages", tool, intoFresh);
  PrintRatio("stage 3 / uncompress, reused", tool, intoReused);
  return good;
}

// 5,000 files of 1-20 KiB spread over three levels of folders.
bool MakeSmallTree(const fs::path& root, std::size_t* bytes, std::vector<std::string>* files) {
  std::mt19937 random(11);
  std::vector<fs::path> folders{root};
  for (int a = 0; a < 5; ++a) {
    fs::path level1 = root / ("area" + std::to_string(a));
    folders.push_back(level1);
    for (int b = 0; b < 5; ++b) {
      fs::path level2 = level1 / ("group" + std::to_string(b));
      folders.push_back(level2);
      for (int c = 0; c < 4; ++c) folders.push_back(level2 / ("set" + std::to_string(c)));
    }
  }
  for (const fs::path& folder : folders) fs::create_directories(folder);
  *bytes = 0;
  for (int i = 0; i < 5000; ++i) {
    std::size_t size = 1024 + random() % (19 * 1024 + 1);
    *bytes += size;
    fs::path path = folders[i % folders.size()] / ("file" + std::to_string(i) + ".dat");
    files->push_back(fs::relative(path, root).string());
    if (!WriteHostFile(path, Content(random, size))) return false;
  }
  return true;
}

struct SmallPackage {
  fs::path tree;
  fs::path package;
  fs::path zip;
  std::vector<std::string> files;  // relative host paths
  std::size_t contentBytes = 0;
  std::size_t packageBytes = 0;
  std::size_t folders = 0;
};

bool PrepareSmall(const Setup& setup, SmallPackage* small) {
  small->tree = setup.work / "tree";
  small->package = setup.work / "small.zam";
  small->zip = setup.work / "small.zip";
  if (!MakeSmallTree(small->tree, &small->contentBytes, &small->files)) return false;
  std::vector<zampack::TreeEntry> entries;
  std::string error;
  zampack::PackageImage image = Image();
  zampack::Totals totals;
  bool built = zampack::ScanTree(small->tree.string(), &entries, &error) &&
               zampack::AddPlan(zampack::AddEverything(entries), 9, zampack::CoreCount(), nullptr, &image, &totals,
                                &error) == zampack::BuildResult::Done;
  std::string bytes;
  if (!built || !WritePackage(small->package, image, &bytes)) {
    std::fprintf(stderr, "small files: %s\n", error.c_str());
    return false;
  }
  small->packageBytes = bytes.size();
  small->folders = entries.size() - small->files.size();
  return true;
}

// The destination's folders, in the order stage 7 makes them.
std::vector<std::string> NewFolders() {
  std::vector<std::string> folders;
  for (const package::ChangeRecord& record : package::Package().ChangeList) {
    if (record.IsAdded == 0 || record.IsFolder == 0) continue;
    std::string path;
    package::RecordPathText(record.Path, &path);
    std::replace(path.begin(), path.end(), '\\', '/');
    folders.push_back(path.substr(1));
  }
  return folders;
}

bool BenchSmall(const Setup& setup) {
  SmallPackage small;
  if (!PrepareSmall(setup, &small)) return false;
  if (std::system(("cd " + Quote(small.tree) + " && zip -q -r " + Quote(small.zip) + " .").c_str()) != 0) {
    std::fprintf(stderr, "small files: zip failed (apt-get install zip unzip)\n");
    return false;
  }
  std::map<std::string, std::string> expected = ReadTree(small.tree);
  if (!OpenPackage(small.package, false)) return false;
  std::vector<std::string> folders = NewFolders();
  package::bCloseUpdateFile();

  Times toolStages, toolWhole, floor, unzipOnly, unzipRead;
  bool good = true;
  for (int round = 0; round < setup.rounds; ++round) {
    RunRound(round, {
        [&] {
          fs::path folder = setup.work / ("floor-small" + std::to_string(round));
          fs::create_directories(folder);
          OpenPackage(small.package, false);
          std::vector<bench::FloorFile> files = FloorFiles(folder);
          package::bCloseUpdateFile();
          Clock::time_point start = Clock::now();
          for (const std::string& name : folders) fs::create_directory(folder / name);
          good &= bench::FloorExtract(small.package.string(), files);
          floor.all.push_back(Seconds(start));
          if (round == 0) good &= ReadTree(folder) == expected;
        },
        [&] {
          fs::path folder = setup.work / ("unzipped" + std::to_string(round));
          fs::create_directories(folder);
          std::vector<std::string> paths;
          for (const std::string& file : small.files) paths.push_back((folder / file).string());
          Clock::time_point start = Clock::now();
          good &= std::system(("unzip -q " + Quote(small.zip) + " -d " + Quote(folder)).c_str()) == 0;
          unzipOnly.all.push_back(Seconds(start));
          good &= bench::ReadBackFirstPages(paths);
          unzipRead.all.push_back(Seconds(start));
          if (round == 0) good &= ReadTree(folder) == expected;
        },
        [&] {
          fs::path destination = UseDestination(setup, "small" + std::to_string(round));
          Clock::time_point start = Clock::now();
          good &= OpenPackage(small.package, true);
          Clock::time_point stages = Clock::now();
          package::bDeleteOldFiles();
          package::bCreateNewFolders();
          package::bCopyFiles();
          toolStages.all.push_back(Seconds(stages));
          good &= package::bCloseUpdateFile();
          toolWhole.all.push_back(Seconds(start));
          if (round == 0) good &= ReadTree(destination) == expected;
        },
    });
  }
  if (!good) std::fprintf(stderr, "small files: a variant failed or its result differs from the tree\n");
  double mib = small.contentBytes / kMiB;
  std::printf("small files: %zu files, %.1f MiB in %zu folders (package %.1f MiB, zip %.1f MiB), %d rounds\n",
              small.files.size(), mib, small.folders, small.packageBytes / kMiB, fs::file_size(small.zip) / kMiB,
              setup.rounds);
  PrintTimes("stages 6, 7 and 3", toolStages, 1, "s");
  PrintTimes("plain-POSIX floor (folders, files)", floor, 1, "s");
  PrintTimes("whole path (open, verify ... close)", toolWhole, 1, "s");
  PrintTimes("unzip and read-back", unzipRead, 1, "s");
  PrintTimes("unzip alone", unzipOnly, 1, "s");
  std::printf("  stages %.0f files/s, %.1f us per file by median\n", small.files.size() / toolStages.Median(),
              toolStages.Median() * 1e6 / small.files.size());
  PrintRatio("stages / floor", toolStages, floor);
  PrintRatio("whole path / unzip and read-back", toolWhole, unzipRead);
  PrintRatio("whole path / unzip alone", toolWhole, unzipOnly);
  return good;
}

bool BenchOneFolder(const Setup& setup, const std::vector<int>& sizes) {
  std::printf("one folder of new files: stage 3, time per file, %d rounds\n", setup.rounds);
  std::vector<double> toolPerFile;
  bool good = true;
  for (int count : sizes) {
    std::mt19937 random(static_cast<unsigned>(count));
    std::vector<std::string> names;
    std::vector<std::string> contents;
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof(name), "Entry%06d.dat", i);
      names.push_back(name);
      contents.push_back(Content(random, 512 + random() % 1537));
    }
    std::string bytes;
    fs::path packagePath = setup.work / ("one" + std::to_string(count) + ".zam");
    if (!FlatPackage(packagePath, names, contents, &bytes)) return false;
    contents.clear();
    if (!OpenPackage(packagePath, false)) return false;
    Times tool, floor;
    for (int round = 0; round < setup.rounds; ++round) {
      RunRound(round, {
          [&] {
            fs::path folder = setup.work / ("floor-one" + std::to_string(count) + "-" + std::to_string(round));
            fs::create_directories(folder);
            std::vector<bench::FloorFile> files = FloorFiles(folder);
            Clock::time_point start = Clock::now();
            good &= bench::FloorExtract(packagePath.string(), files);
            floor.all.push_back(Seconds(start) / count);
          },
          [&] {
            fs::path destination = UseDestination(setup, "one" + std::to_string(count) + "-" + std::to_string(round));
            Clock::time_point start = Clock::now();
            package::bCopyFiles();
            tool.all.push_back(Seconds(start) / count);
            if (round == 0) {
              std::size_t written = static_cast<std::size_t>(std::distance(fs::directory_iterator(destination),
                                                                            fs::directory_iterator()));
              good &= written == static_cast<std::size_t>(count);
            }
          },
      });
    }
    package::bCloseUpdateFile();
    std::printf("  %6d files: stage 3 min %7.1f us, median %7.1f us; floor min %7.1f us, median %7.1f us; "
                "%.2fx floor by median\n",
                count, tool.Min() * 1e6, tool.Median() * 1e6, floor.Min() * 1e6, floor.Median() * 1e6,
                floor.Median() / tool.Median());
    toolPerFile.push_back(tool.Median());
  }
  if (toolPerFile.size() > 1) {
    std::printf("  time per file, largest folder over smallest: %.2fx\n", toolPerFile.back() / toolPerFile.front());
  }
  if (!good) std::fprintf(stderr, "one folder: a variant failed or files are missing\n");
  return good;
}

// One pass of the small files' stages (or of the floor, or of neither), so
// that strace can count what stage 3 adds per file.
bool SyscallPass(const Setup& setup, const std::string& what) {
  SmallPackage small;
  if (!PrepareSmall(setup, &small) || !OpenPackage(small.package, false)) return false;
  UseDestination(setup, "syscalls");
  fs::path floorFolder = setup.work / "floor-syscalls";
  std::vector<bench::FloorFile> files = FloorFiles(floorFolder);
  std::vector<std::string> folders = NewFolders();
  package::bDeleteOldFiles();
  package::bCreateNewFolders();
  for (const std::string& name : folders) fs::create_directories(floorFolder / name);
  bool good = true;
  if (what == "tool") {
    package::bCopyFiles();
  } else if (what == "floor") {
    good = bench::FloorExtract(small.package.string(), files);
  }
  package::bCloseUpdateFile();
  return good;
}

std::vector<int> ParseSizes(const std::string& text) {
  std::vector<int> sizes;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    sizes.push_back(std::atoi(text.substr(start, comma - start).c_str()));
    start = comma + 1;
  }
  return sizes;
}

}  // namespace

int main(int argc, char** argv) {
  const char* root = std::getenv("ORVANTA_DEVICE_ROOT");
  const char* scale = std::getenv("ORVANTA_SIM_TIME_SCALE");
  if (root == nullptr || !fs::path(root).is_absolute() || scale == nullptr || std::string(scale) != "0") {
    std::fprintf(stderr,
                 "usage: ORVANTA_DEVICE_ROOT=$PWD/bench-device ORVANTA_SIM_TIME_SCALE=0 extraction_bench [--rounds=N]\n"
                 "       [--only=large|small|folder] [--folder-sizes=1000,10000,50000] [--syscalls=tool|floor|none]\n"
                 "(an absolute device root; the bench uses its C:\\bench and ./bench-work)\n");
    return 2;
  }
  Setup setup{fs::absolute("bench-work"), fs::path(root)};
  std::string only;
  std::string syscalls;
  std::vector<int> sizes{1000, 10000, 50000};
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.rfind("--rounds=", 0) == 0) setup.rounds = std::max(1, std::atoi(arg.c_str() + 9));
    if (arg.rfind("--only=", 0) == 0) only = arg.substr(7);
    if (arg.rfind("--folder-sizes=", 0) == 0) sizes = ParseSizes(arg.substr(15));
    if (arg.rfind("--syscalls=", 0) == 0) syscalls = arg.substr(11);
  }
  if (fs::exists(setup.work) || fs::exists(setup.deviceRoot / "C" / "bench")) {
    std::fprintf(stderr,
                 "note: removing the files of an earlier run; this file system may create files slowly for some "
                 "minutes now\n");
    fs::remove_all(setup.work);
    fs::remove_all(setup.deviceRoot / "C" / "bench");
  }
  fs::create_directories(setup.work / "run");
  // The run log goes one folder up from the working directory, and stage 3's
  // replacement files below it.
  fs::current_path(setup.work / "run");
  if (syscalls.empty()) {
    std::printf("file system: %s (%s)\n", bench::FileSystemOf(setup.work.string()).c_str(), setup.work.c_str());
  }

  bool good = true;
  if (!syscalls.empty()) {
    good = SyscallPass(setup, syscalls);
  } else {
    if (good && (only.empty() || only == "large")) good = BenchLarge(setup);
    if (good && (only.empty() || only == "small")) good = BenchSmall(setup);
    if (good && (only.empty() || only == "folder")) good = BenchOneFolder(setup, sizes);
  }
  std::fflush(stdout);
  std::string log;
  zampack::ReadHostFile((setup.work / "update_log.txt").string(), &log);
  if (log.find("ERROR") != std::string::npos || app::Run().bRebootRequired) {
    std::fprintf(stderr, "the run log has errors or a replacement happened:\n%s", log.c_str());
    good = false;
  }
  fs::current_path(setup.work.parent_path());
  // The system-call passes leave their files: bench/syscalls.sh removes
  // them outside the count.
  if (!syscalls.empty()) return good ? 0 : 1;
  if (!good) {
    std::fprintf(stderr, "left for inspection: %s and C:\\bench of the device\n", setup.work.c_str());
    return 1;
  }
  fs::remove_all(setup.work);
  fs::remove_all(setup.deviceRoot / "C" / "bench");
  return 0;
}
