// Extraction against the standard tools, on the same input in the same run:
//  - stage 3 (bCopyFiles, its read-back check included) inflating 64 MiB of
//    zlib streams into files on the simulated device, against zlib's own
//    uncompress of the same streams into memory buffers;
//  - a package of 5,000 files of 1-20 KiB in nested folders applied from
//    bOpenUpdateFile to bCloseUpdateFile into an empty folder, against unzip
//    of a zip of the same files into an empty folder.
// Best of 3 for each figure; unzip's time includes starting it through the
// shell. Needs Debian's zip and unzip (apt-get install zip unzip). Works in
// bench-work/ under the current folder (about 700 MiB, and not tmpfs, where
// the read-back cannot bypass the cache) and in C:\bench of the simulated
// device, which the caller names:
//   cd build/bench && ORVANTA_DEVICE_ROOT=$PWD/bench-device ORVANTA_SIM_TIME_SCALE=0 bin/extraction_bench
// ext4 creates files slowly for some minutes after many files were deleted
// (by this bench's cleanup, too), so leave five minutes between runs.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/run_state.h"
#include "package/extraction.h"
#include "package/folder_stages.h"
#include "package/package.h"
#include "package/verify.h"
#include "platform/file.h"
#include "tools/zampack/package_image.h"
#include "version/package_type.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 3;
constexpr double kMiB = 1048576.0;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

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

void ResetTables() {
  package::Package().ChangeList.clear();
  package::Package().CopyList.clear();
}

struct Setup {
  fs::path work;        // host folder for packages, trees and zips
  fs::path deviceRoot;  // the simulated device's folder
};

// Every run writes into empty folders of its own, and nothing is deleted
// before the end: ext4 passes over inodes freed in the last minutes when it
// creates files, which would charge each run for the deletions of the one
// before. Sets the destination of type SOFTWARE to C:\bench\<name><run> and
// returns its host path.
fs::path UseDestination(const Setup& setup, const std::string& name, int run) {
  std::string leaf = name + std::to_string(run);
  app::Run().LocationPaths[version::SOFTWARE] = "C:\\bench\\" + leaf;
  fs::path host = setup.deviceRoot / "C" / "bench" / leaf;
  fs::create_directories(host);
  return host;
}

bool BenchExtraction(const Setup& setup) {
  zampack::PackageImage image = Image();
  std::mt19937 random(7);
  std::map<std::string, std::string> expected;
  const std::size_t total = 64u << 20;
  std::size_t made = 0;
  for (int i = 0; made < total; ++i) {
    std::size_t size = std::min<std::size_t>((2 + i % 5) << 20, total - made);
    char name[32];
    std::snprintf(name, sizeof(name), "big%02d.bin", i);
    package::ChangeRecord change{};
    package::SetRecordPath(change.Path, std::string("\\") + name);
    change.IsAdded = 1;
    image.changes.push_back(change);
    zampack::DeliveredFile file;
    file.record.Attributes = platform::kAttributeNormal;
    package::SetRecordPath(file.record.Path, std::string("\\") + name);
    file.content = Content(random, size);
    expected[name] = file.content;
    image.files.push_back(std::move(file));
    made += size;
  }
  std::string bytes;
  fs::path packagePath = setup.work / "extract.zam";
  if (!WritePackage(packagePath, image, &bytes)) return false;
  image = {};

  ResetTables();
  if (!package::bOpenUpdateFile(packagePath.string()) || !package::bCreateFileMappings(packagePath.string()) ||
      !package::bLoadPackageTables()) {
    std::fprintf(stderr, "extraction: the package cannot be opened\n");
    return false;
  }
  const std::vector<package::FileRecord>& records = package::Package().CopyList;
  std::vector<std::vector<Bytef>> buffers;
  for (const package::FileRecord& record : records) buffers.emplace_back(record.Size);

  double ours = 1e9;
  double theirs = 1e9;
  bool inflated = true;
  bool same = true;
  for (int run = 0; run < kRuns; ++run) {
    Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < records.size(); ++i) {
      std::uint64_t position = package::StreamPosition(records[i], package::Package().DataAreaStart);
      uLongf length = records[i].Size;
      inflated &= uncompress(buffers[i].data(), &length, reinterpret_cast<const Bytef*>(bytes.data() + position),
                             records[i].StoredSize) == Z_OK &&
                  length == records[i].Size;
    }
    theirs = std::min(theirs, Seconds(start));

    fs::path destination = UseDestination(setup, "extract", run);
    package::BuildDestinationRoot();
    start = Clock::now();
    package::bCopyFiles();
    ours = std::min(ours, Seconds(start));
    same &= ReadTree(destination) == expected;
  }
  package::bCloseUpdateFile();

  same &= inflated;
  for (std::size_t i = 0; same && i < records.size(); ++i) {
    std::string name;
    package::RecordPathText(records[i].Path, &name);
    const std::string& content = expected[name.substr(1)];
    same = content.size() == buffers[i].size() && std::memcmp(content.data(), buffers[i].data(), content.size()) == 0;
  }
  if (!same) std::fprintf(stderr, "extraction: the written files differ from the package's content\n");
  double mib = made / kMiB;
  std::printf(
      "extraction: %zu files, %.0f MiB (%.0f MiB stored): stage 3 %.0f MiB/s, uncompress %.0f MiB/s, "
      "ratio %.2fx uncompress\n",
      records.size(), mib, bytes.size() / kMiB, mib / ours, mib / theirs, theirs / ours);
  return same;
}

// 5,000 files of 1-20 KiB spread over three levels of folders.
bool MakeSmallTree(const fs::path& root, std::size_t* bytes) {
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
    if (!WriteHostFile(folders[i % folders.size()] / ("file" + std::to_string(i) + ".dat"), Content(random, size))) {
      return false;
    }
  }
  return true;
}

bool ApplyPackage(const std::string& path) {
  ResetTables();
  bool opened = package::bOpenUpdateFile(path) && package::bVerifyUpdateFile(path) &&
                package::bCreateFileMappings(path) && package::bLoadPackageTables();
  if (!opened) return false;
  package::bDeleteOldFiles();
  package::bCreateNewFolders();
  package::bCopyFiles();
  return package::bCloseUpdateFile();
}

bool BenchSmallFiles(const Setup& setup) {
  fs::path tree = setup.work / "tree";
  std::size_t contentBytes = 0;
  if (!MakeSmallTree(tree, &contentBytes)) return false;
  std::vector<zampack::TreeEntry> entries;
  std::string error;
  zampack::PackageImage image = Image();
  bool built = zampack::ScanTree(tree.string(), &entries, &error);
  for (std::size_t i = 0; built && i < entries.size(); ++i)
    built = zampack::AddEntry(&image, entries[i], true, false, false, &error);
  std::string bytes;
  fs::path packagePath = setup.work / "small.zam";
  if (!built || !WritePackage(packagePath, image, &bytes)) {
    std::fprintf(stderr, "small files: %s\n", error.c_str());
    return false;
  }
  image = {};
  fs::path zipPath = setup.work / "small.zip";
  if (std::system(("cd " + Quote(tree) + " && zip -q -r " + Quote(zipPath) + " .").c_str()) != 0) {
    std::fprintf(stderr, "small files: zip failed (apt-get install zip unzip)\n");
    return false;
  }

  std::map<std::string, std::string> expected = ReadTree(tree);
  double ours = 1e9;
  double theirs = 1e9;
  bool same = true;
  for (int run = 0; run < kRuns; ++run) {
    fs::path unzipped = setup.work / ("unzipped" + std::to_string(run));
    fs::create_directories(unzipped);
    std::string unzip = "unzip -q " + Quote(zipPath) + " -d " + Quote(unzipped);
    Clock::time_point start = Clock::now();
    same &= std::system(unzip.c_str()) == 0;
    theirs = std::min(theirs, Seconds(start));
    same &= ReadTree(unzipped) == expected;

    fs::path destination = UseDestination(setup, "small", run);
    start = Clock::now();
    same &= ApplyPackage(packagePath.string());
    ours = std::min(ours, Seconds(start));
    same &= ReadTree(destination) == expected;
  }
  if (!same) std::fprintf(stderr, "small files: a run failed or its result differs from the tree\n");
  double mib = contentBytes / kMiB;
  std::printf(
      "small files: 5000 files, %.1f MiB in %zu folders (package %.1f MiB, zip %.1f MiB): "
      "whole path %.3f s (%.0f MiB/s, %.0f files/s), unzip %.3f s (%.0f MiB/s), ratio %.2fx unzip\n",
      mib, entries.size() - 5000, bytes.size() / kMiB, fs::file_size(zipPath) / kMiB, ours, mib / ours, 5000 / ours,
      theirs, mib / theirs, theirs / ours);
  return same;
}

}  // namespace

int main() {
  const char* root = std::getenv("ORVANTA_DEVICE_ROOT");
  const char* scale = std::getenv("ORVANTA_SIM_TIME_SCALE");
  if (root == nullptr || !fs::path(root).is_absolute() || scale == nullptr || std::string(scale) != "0") {
    std::fprintf(stderr,
                 "usage: ORVANTA_DEVICE_ROOT=$PWD/bench-device ORVANTA_SIM_TIME_SCALE=0 extraction_bench\n"
                 "(an absolute device root; the bench uses its C:\\bench and ./bench-work)\n");
    return 2;
  }
  Setup setup{fs::absolute("bench-work"), fs::path(root)};
  fs::remove_all(setup.work);
  fs::remove_all(setup.deviceRoot / "C" / "bench");
  fs::create_directories(setup.work / "run");
  // The run log goes one folder up from the working directory, and stage 3's
  // replacement files below it.
  fs::current_path(setup.work / "run");

  bool good = BenchExtraction(setup) && BenchSmallFiles(setup);
  std::string log;
  zampack::ReadHostFile((setup.work / "update_log.txt").string(), &log);
  if (log.find("ERROR") != std::string::npos || app::Run().bRebootRequired) {
    std::fprintf(stderr, "the run log has errors or a replacement happened:\n%s", log.c_str());
    good = false;
  }
  fs::current_path(setup.work.parent_path());
  if (!good) {
    std::fprintf(stderr, "left for inspection: %s and C:\\bench of the device\n", setup.work.c_str());
    return 1;
  }
  fs::remove_all(setup.work);
  fs::remove_all(setup.deviceRoot / "C" / "bench");
  return 0;
}
