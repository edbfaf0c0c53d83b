#pragma once
// The zlib streams of a package's files, made on every core. A file is cut
// into fixed blocks, each deflated with the 32 KiB before it as its
// dictionary and joined into one zlib stream, so that the bytes depend only
// on the content and the level, never on the number of workers.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zampack {

struct Source {
  std::string hostPath;
  std::uint64_t size = 0;
};

// Files and bytes done so far; called on the calling thread.
using ProgressCallback = std::function<void(std::size_t files, std::uint64_t bytes)>;

// One stream per source (empty for an empty file), at `level` 1 to 9, with
// `workers` threads. False with the path and the reason when a file cannot
// be read or its size changed since it was scanned.
bool CompressSources(const std::vector<Source>& sources, int level, unsigned workers,
                     const ProgressCallback& progress, std::vector<std::string>* streams, std::string* error);

// The number of cores, at least 1.
unsigned CoreCount();

}  // namespace zampack
