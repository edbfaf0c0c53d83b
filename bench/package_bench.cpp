// Package verification against md5sum on the same bytes, what a signature
// check adds to it, and stage 8 table loading at growing record counts. Works in the current folder, which
// needs about 300 MiB free; prints one line per figure.
#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "package/minisign.h"
#include "package/package.h"
#include "package/signature.h"
#include "package/verify.h"
#include "platform/environment.h"
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

// A sealed package of 256 MiB behind its header, of random content so that
// nothing gains from zero pages.
constexpr std::uint32_t kBody = 256u << 20;

std::string RandomPackage(unsigned seed) {
  zampack::PackageImage image = Image();
  image.padding = kBody - 208;
  std::string bytes;
  std::string error;
  zampack::EncodeImage(image, &bytes, &error);
  std::mt19937 random(seed);
  for (std::size_t i = 672; i + 4 < bytes.size(); ++i) bytes[i] = static_cast<char>(random());
  zampack::SealPackageBytes(bytes);
  return bytes;
}

void BenchVerification() {
  std::string bytes = RandomPackage(1);
  {
    std::ofstream out("bench-verify.zam", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  bytes.clear();
  bytes.shrink_to_fit();
  Md5sumOnce("bench-verify.zam");  // warms the page cache for both
  double ours = BestOf(3, VerifyOnce, "bench-verify.zam");
  double theirs = BestOf(3, Md5sumOnce, "bench-verify.zam");
  double mib = kBody / 1048576.0;
  std::printf("verification: %.0f MiB/s, md5sum %.0f MiB/s, ratio %.2fx md5sum\n", mib / ours, mib / theirs,
              theirs / ours);
  std::remove("bench-verify.zam");
}

std::string Base64(const std::uint8_t* data, std::size_t size) {
  std::string text(sodium_base64_ENCODED_LEN(size, sodium_base64_VARIANT_ORIGINAL), '\0');
  sodium_bin2base64(text.data(), text.size(), data, size, sodium_base64_VARIANT_ORIGINAL);
  text.pop_back();
  return text;
}

// Open, signature check (when SYSTEMROOT holds keys) and verification, as
// the run does them.
double CheckOnce(const std::string& path) {
  Clock::time_point start = Clock::now();
  if (!package::bOpenUpdateFile(path) || !package::bCheckPackageSignature(path) ||
      !package::bVerifyUpdateFile(path)) {
    std::fprintf(stderr, "check failed\n");
  }
  return Seconds(start);
}

// The other way: the checksum pass, then a pass of its own for the hash.
double TwoPassesOnce(const std::string& path) {
  Clock::time_point start = Clock::now();
  if (!package::bOpenUpdateFile(path) || !package::bVerifyUpdateFile(path)) std::fprintf(stderr, "verify failed\n");
  std::ifstream in(path, std::ios::binary);
  std::vector<char> buffer(0x40000);
  minisign::FileHash hash;
  while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
    hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  std::uint8_t digest[64];
  hash.Final(digest);
  return Seconds(start);
}

// What a signature check adds to the checksum alone, on a 256 MiB package:
// interleaved rounds of the four ways, min and median of each.
void BenchSignature() {
  std::string bytes = RandomPackage(2);
  for (const char* name : {"bench-plain.zam", "bench-hashed.zam", "bench-legacy.zam"}) {
    std::ofstream(name, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  // A key of the bench's own, and the two kinds of signature minisign makes.
  minisign::SecretKey key;
  std::uint8_t publicKey[32];
  crypto_sign_keypair(publicKey, key.key.data());
  randombytes_buf(key.id.data(), key.id.size());
  std::uint8_t hash[64];
  minisign::FileHash state;
  state.Update(bytes.data(), bytes.size());
  state.Final(hash);
  std::ofstream("bench-hashed.zam.minisig", std::ios::binary) << minisign::SignHash(key, hash, "bench", "bench");
  std::uint8_t legacy[2 + 8 + 64] = {'E', 'd'};
  std::copy(key.id.begin(), key.id.end(), legacy + 2);
  crypto_sign_detached(legacy + 10, nullptr, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                       key.key.data());
  std::string global(legacy + 10, legacy + 74);
  global += "bench";
  std::uint8_t globalSignature[64];
  crypto_sign_detached(globalSignature, nullptr, reinterpret_cast<const std::uint8_t*>(global.data()), global.size(),
                       key.key.data());
  std::ofstream("bench-legacy.zam.minisig", std::ios::binary)
      << "untrusted comment: bench\n" << Base64(legacy, sizeof(legacy)) << "\ntrusted comment: bench\n"
      << Base64(globalSignature, 64) << "\n";
  std::uint8_t publicBytes[42] = {'E', 'd'};
  std::copy(key.id.begin(), key.id.end(), publicBytes + 2);
  std::copy(publicKey, publicKey + 32, publicBytes + 10);
  std::filesystem::create_directories("bench-keys/OEM/ZAMHelper");
  std::ofstream("bench-keys/OEM/ZAMHelper/UpdateKeys.pub", std::ios::binary)
      << "untrusted comment: bench\n" << Base64(publicBytes, sizeof(publicBytes)) << "\n";
  bytes.clear();
  bytes.shrink_to_fit();

  const char* names[] = {"checksum alone", "prehashed, one pass", "checksum + a second pass", "legacy, mapped"};
  std::vector<double> times[4];
  for (int round = 0; round < 7; ++round) {
    platform::SetEnvironmentValue("SYSTEMROOT", "bench-none");
    times[0].push_back(CheckOnce("bench-plain.zam"));
    platform::SetEnvironmentValue("SYSTEMROOT", "bench-keys");
    times[1].push_back(CheckOnce("bench-hashed.zam"));
    platform::SetEnvironmentValue("SYSTEMROOT", "bench-none");
    times[2].push_back(TwoPassesOnce("bench-plain.zam"));
    platform::SetEnvironmentValue("SYSTEMROOT", "bench-keys");
    times[3].push_back(CheckOnce("bench-legacy.zam"));
  }
  double minimum[4];
  double median[4];
  for (int i = 0; i < 4; ++i) {
    std::sort(times[i].begin(), times[i].end());
    minimum[i] = times[i].front();
    median[i] = times[i][times[i].size() / 2];
  }
  for (int i = 0; i < 4; ++i) {
    std::printf("signature: %-26s min %.3f s, median %.3f s, ratio to the checksum alone %.2fx (min) %.2fx (median)\n",
                names[i], minimum[i], median[i], minimum[i] / minimum[0], median[i] / median[0]);
  }
  for (const char* name : {"bench-plain.zam", "bench-hashed.zam", "bench-legacy.zam", "bench-hashed.zam.minisig",
                           "bench-legacy.zam.minisig"}) {
    std::remove(name);
  }
  std::filesystem::remove_all("bench-keys");
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
  BenchSignature();
  for (std::uint32_t records : {1000u, 10000u, 100000u}) BenchTables(records);
  return 0;
}
