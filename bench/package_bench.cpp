// Package verification against md5sum on the same bytes, and stage 8 table
// loading at growing record counts. Works in the current folder, which
// needs about 300 MiB free; prints one line per figure.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "package/package.h"
#include "package/verify.h"
#include "tools/zampack/package_image.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

bool WritePackage(const std::string& path, zampack::PackageImage& image) {
  std::string bytes;
  std::string error;
  if (!zampack::EncodeImage(image, &bytes, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

zampack::PackageImage Image() {
  zampack::PackageImage image;
  std::string error;
  zampack::StartImage(&image, 0, u"Bench", u"", &error);
  return image;
}

double BestOf(int runs, double (*once)(const std::string&), const std::string& path) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) best = std::min(best, once(path));
  return best;
}

double VerifyOnce(const std::string& path) {
  Clock::time_point start = Clock::now();
  if (!package::bOpenUpdateFile(path) || !package::bVerifyUpdateFile(path)) std::fprintf(stderr, "verify failed\n");
  return Seconds(start);
}

double Md5sumOnce(const std::string& path) {
  Clock::time_point start = Clock::now();
  std::string command = "md5sum " + path + " > /dev/null";
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "md5sum failed\n");
  return Seconds(start);
}

void BenchVerification() {
  const std::uint32_t body = 256u << 20;
  zampack::PackageImage image = Image();
  image.padding = body - 208;
  std::string bytes;
  std::string error;
  zampack::EncodeImage(image, &bytes, &error);
  // Random content, so that nothing gains from zero pages.
  std::mt19937 random(1);
  for (std::size_t i = 672; i + 4 < bytes.size(); ++i) bytes[i] = static_cast<char>(random());
  zampack::SealPackageBytes(bytes);
  {
    std::ofstream out("bench-verify.zam", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  bytes.clear();
  bytes.shrink_to_fit();
  Md5sumOnce("bench-verify.zam");  // warms the page cache for both
  double ours = BestOf(3, VerifyOnce, "bench-verify.zam");
  double theirs = BestOf(3, Md5sumOnce, "bench-verify.zam");
  double mib = body / 1048576.0;
  std::printf("verification: %.0f MiB/s, md5sum %.0f MiB/s, ratio %.2fx md5sum\n", mib / ours, mib / theirs,
              theirs / ours);
  std::remove("bench-verify.zam");
}

void BenchTables(std::uint32_t records) {
  zampack::PackageImage image = Image();
  char path[64];
  for (std::uint32_t i = 0; i < records; ++i) {
    std::snprintf(path, sizeof(path), "\\Folder%u\\File%07u.dat", i % 97, i);
    package::ChangeRecord change{};
    package::SetRecordPath(change.Path, path);
    change.IsAdded = 1;
    image.changes.push_back(change);
    zampack::DeliveredFile file;
    package::SetRecordPath(file.record.Path, path);
    image.files.push_back(file);
  }
  // File records in another order than the change list, as after a diff.
  std::reverse(image.files.begin(), image.files.end());
  if (!WritePackage("bench-tables.zam", image)) return;
  double best = 1e9;
  for (int run = 0; run < 3; ++run) {
    package::Package().ChangeList.clear();
    package::Package().CopyList.clear();
    if (!package::bOpenUpdateFile("bench-tables.zam") || !package::bCreateFileMappings("bench-tables.zam")) {
      std::fprintf(stderr, "open failed\n");
      return;
    }
    Clock::time_point start = Clock::now();
    package::bLoadPackageTables();
    best = std::min(best, Seconds(start));
    package::Package().mapping.Close();
    package::Package().file.Close();
  }
  std::printf("tables: %6u records in %.4f s, %.0f records/s, %zu selected\n", records, best, records / best,
              package::Package().CopyList.size());
  std::remove("bench-tables.zam");
}

}  // namespace

int main() {
  BenchVerification();
  for (std::uint32_t records : {1000u, 10000u, 100000u}) BenchTables(records);
  return 0;
}
