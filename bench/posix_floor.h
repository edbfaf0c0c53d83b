#pragma once
// The device's own steps for each written file, in plain POSIX calls and
// without anything of the simulator: the floor that the tool's extraction is
// measured against on the same file system.
#include <cstdint>
#include <string>
#include <vector>

namespace bench {

struct FloorFile {
  std::string path;         // host path of the file to create
  std::uint64_t position;   // where its zlib stream starts in the package
  std::uint32_t storedSize;
  std::uint32_t size;
};

// For each file: create it, set its length (the blocks allocated, as the
// device's file system allocates them), map it, uncompress its stream from a
// view of the package into the mapping, unmap, close, then read its first
// 4096 bytes unbuffered. False on any failure (printed).
bool FloorExtract(const std::string& packagePath, const std::vector<FloorFile>& files);

// The unbuffered read of the first 4096 bytes of each file, as after unzip.
bool ReadBackFirstPages(const std::vector<std::string>& paths);

// The file system type of the folder (ext4, tmpfs, ...).
std::string FileSystemOf(const std::string& folder);

// Memory that has never been touched, for uncompress into fresh pages;
// FreeFresh gives it back.
unsigned char* AllocateFresh(std::size_t size);
void FreeFresh(unsigned char* data, std::size_t size);

}  // namespace bench
