#pragma once
// The package of a planned change list: its records, and its files read and
// compressed on every core.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/zampack/compress.h"
#include "tools/zampack/package_image.h"
#include "tools/zampack/tree.h"

namespace zampack {

struct Totals {
  std::size_t filesAdded = 0;
  std::size_t foldersAdded = 0;
  std::size_t filesChanged = 0;
  std::size_t attributesOnly = 0;
  std::size_t filesRemoved = 0;
  std::size_t foldersRemoved = 0;
  std::uint64_t unpacked = 0;
  std::uint64_t stored = 0;
};

enum class BuildResult { Done, Refused, CannotRead };

// Every change of `plan` in `image` (started with its header), the content
// of added and changed files compressed at `level` with `workers` threads.
// Refused when a path or a file does not fit a package; CannotRead when a
// file cannot be read; `error` names the path either way.
BuildResult AddPlan(const std::vector<PlannedChange>& plan, int level, unsigned workers,
                    const ProgressCallback& progress, PackageImage* image, Totals* totals, std::string* error);

// The plan that adds every entry of a tree.
std::vector<PlannedChange> AddEverything(const std::vector<TreeEntry>& tree);

}  // namespace zampack
