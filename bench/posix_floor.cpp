#include "bench/posix_floor.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/statfs.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {
namespace {

constexpr std::size_t kBlock = 4096;

bool Report(const char* what, const std::string& path) {
  std::fprintf(stderr, "floor: %s failed for %s: %s\n", what, path.c_str(), std::strerror(errno));
  return false;
}

bool ReadFirstPage(const std::string& path, unsigned char* block) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECT);
  if (fd < 0) return Report("open (O_DIRECT)", path);
  ssize_t n = ::read(fd, block, kBlock);
  ::close(fd);
  if (n <= 0) return Report("unbuffered read", path);
  return true;
}

}  // namespace

bool FloorExtract(const std::string& packagePath, const std::vector<FloorFile>& files) {
  int package = ::open(packagePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (package < 0) return Report("open", packagePath);
  std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  void* block = nullptr;
  if (posix_memalign(&block, kBlock, kBlock) != 0) {
    ::close(package);
    return false;
  }
  bool good = true;
  for (const FloorFile& file : files) {
    int fd = ::open(file.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
      good = Report("open", file.path);
      break;
    }
    int allocated = posix_fallocate(fd, 0, file.size);
    void* out = MAP_FAILED;
    if (allocated == 0) out = mmap(nullptr, file.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    std::uint64_t inner = file.position % page;
    void* in = mmap(nullptr, file.storedSize + inner, PROT_READ, MAP_SHARED, package,
                    static_cast<off_t>(file.position - inner));
    uLongf length = file.size;
    good = out != MAP_FAILED && in != MAP_FAILED &&
           uncompress(static_cast<Bytef*>(out), &length, static_cast<Bytef*>(in) + inner, file.storedSize) == Z_OK &&
           length == file.size;
    if (in != MAP_FAILED) munmap(in, file.storedSize + inner);
    if (out != MAP_FAILED) munmap(out, file.size);
    ::close(fd);
    if (!good) {
      Report("mapping or uncompress", file.path);
      break;
    }
    if (!ReadFirstPage(file.path, static_cast<unsigned char*>(block))) {
      good = false;
      break;
    }
  }
  std::free(block);
  ::close(package);
  return good;
}

bool ReadBackFirstPages(const std::vector<std::string>& paths) {
  void* block = nullptr;
  if (posix_memalign(&block, kBlock, kBlock) != 0) return false;
  bool good = true;
  for (const std::string& path : paths) {
    good = ReadFirstPage(path, static_cast<unsigned char*>(block));
    if (!good) break;
  }
  std::free(block);
  return good;
}

std::string FileSystemOf(const std::string& folder) {
  struct statfs info;
  if (statfs(folder.c_str(), &info) != 0) return "unknown";
  switch (static_cast<unsigned long>(info.f_type)) {
    case 0xEF53:
      return "ext4";
    case 0x01021994:
      return "tmpfs";
    case 0x9123683E:
      return "btrfs";
    case 0x58465342:
      return "xfs";
    case 0x794C7630:
      return "overlayfs";
    default: {
      char text[32];
      std::snprintf(text, sizeof(text), "type 0x%lX", static_cast<unsigned long>(info.f_type));
      return text;
    }
  }
}

unsigned char* AllocateFresh(std::size_t size) {
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return data == MAP_FAILED ? nullptr : static_cast<unsigned char*>(data);
}

void FreeFresh(unsigned char* data, std::size_t size) {
  if (data != nullptr) munmap(data, size);
}

}  // namespace bench
