// zampack build against `tar cf - | gzip -9` on the same tree in the same
// run: a release tree of at least 100 MB made of a toolchain's files as they
// lie on this machine (libraries, archives, headers, executables: the mix a
// release carries), built in interleaved rounds, each writing a fresh output
// so that nothing is deleted while a round is timed. Prints min and median
// for each variant and the ratios; zampack --jobs 1 shows the one-core speed.
//   cmake --build build/bench -j2 --target zampack_bench zampack
//   cd build/bench && bin/zampack_bench [ROUNDS]
// Works in bench-zampack/ under the current folder (about 400 MB).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::uint64_t kTreeBytes = 128ull << 20;

std::string Quote(const fs::path& path) {
  std::string quoted(1, '\'');
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

// Files of the first folders that exist, in name order, up to kTreeBytes,
// copied into `tree` with their relative paths.
bool MakeTree(const fs::path& tree, std::uint64_t* bytes, std::size_t* files) {
  const char* const sources[] = {"/usr/lib/gcc/x86_64-w64-mingw32", "/usr/x86_64-w64-mingw32", "/usr/lib/gcc",
                                 "/usr/lib/x86_64-linux-gnu", "/usr/share"};
  *bytes = 0;
  *files = 0;
  for (const char* source : sources) {
    std::error_code code;
    if (!fs::is_directory(source, code)) continue;
    std::vector<fs::path> found;
    for (auto it = fs::recursive_directory_iterator(source, fs::directory_options::skip_permission_denied, code);
         !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
      if (it->is_regular_file(code) && !it->is_symlink(code)) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& file : found) {
      if (*bytes >= kTreeBytes) return true;
      fs::path target = tree / fs::path(source).filename() / fs::relative(file, source);
      fs::create_directories(target.parent_path(), code);
      if (!fs::copy_file(file, target, fs::copy_options::overwrite_existing, code)) continue;
      fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add, code);
      *bytes += fs::file_size(target, code);
      ++*files;
    }
  }
  return *bytes >= 100'000'000;
}

struct Variant {
  const char* name;
  std::string command;  // "%s" is the round's output file
  const char* suffix;
  std::vector<double> seconds;
  std::uint64_t output = 0;
};

double Min(std::vector<double> values) { return *std::min_element(values.begin(), values.end()); }
double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  fs::path zampack = fs::absolute(fs::path(argv[0]).parent_path() / "zampack");
  fs::path work = fs::absolute("bench-zampack");
  fs::path tree = work / "tree";
  std::error_code code;
  fs::remove_all(work, code);
  fs::create_directories(work);
  std::uint64_t bytes = 0;
  std::size_t files = 0;
  if (!fs::exists(zampack) || !MakeTree(tree, &bytes, &files)) {
    std::fprintf(stderr, "zampack_bench: needs %s and 100 MB of a toolchain under /usr\n", zampack.c_str());
    return 1;
  }
  std::system("sync");
  std::printf("tree: %zu files, %.1f MB (%s)\n", files, bytes / 1e6, tree.c_str());

  std::string zam = Quote(zampack) + " build --type SOFTWARE --name Bench ";
  std::vector<Variant> variants = {
      {"zampack build (every core)", zam + Quote(tree) + " -o %s", ".zam", {}},
      {"tar cf - | gzip -9", "tar cf - -C " + Quote(tree) + " . | gzip -9 > %s", ".tar.gz", {}},
      {"zampack build --jobs 1", zam + "--jobs 1 " + Quote(tree) + " -o %s", ".one.zam", {}},
  };
  // Warm the page cache once, so that every round reads the tree from memory.
  std::system(("tar cf - -C " + Quote(tree) + " . > /dev/null").c_str());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t k = 0; k < variants.size(); ++k) {
      // Each round starts with another variant, so that none always runs first.
      Variant& variant = variants[(k + static_cast<std::size_t>(round)) % variants.size()];
      fs::path output = work / ("round" + std::to_string(round) + variant.suffix);
      std::string command = variant.command;
      command.replace(command.find("%s"), 2, Quote(output));
      Clock::time_point start = Clock::now();
      if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "zampack_bench: failed: %s\n", command.c_str());
        return 1;
      }
      variant.seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
      variant.output = fs::file_size(output);
    }
  }
  std::printf("%d rounds, interleaved; %u cores\n", rounds, std::thread::hardware_concurrency());
  std::printf("%-28s %8s %8s %12s %9s\n", "", "min s", "median s", "output MB", "MB/s");
  for (const Variant& variant : variants) {
    std::printf("%-28s %8.2f %8.2f %12.2f %9.1f\n", variant.name, Min(variant.seconds), Median(variant.seconds),
                variant.output / 1e6, bytes / 1e6 / Min(variant.seconds));
  }
  const Variant& gzip = variants[1];
  for (std::size_t k : {std::size_t{0}, std::size_t{2}}) {
    std::printf("%s against gzip -9: %.2fx faster (min), %.2fx (median); output %.3f of gzip's\n", variants[k].name,
                Min(gzip.seconds) / Min(variants[k].seconds), Median(gzip.seconds) / Median(variants[k].seconds),
                static_cast<double>(variants[k].output) / gzip.output);
  }
  fs::remove_all(work, code);
  return 0;
}
