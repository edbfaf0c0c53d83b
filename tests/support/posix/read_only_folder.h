#pragma once
// A folder made read-only for one test, as a device whose storage refuses
// writes: a read-only bind mount over it where the test may mount (root),
// else every write permission below it taken away (which binds a user other
// than root). Writable again when it goes.
#include <sys/mount.h>

#include <filesystem>
#include <string>

namespace testsupport {

class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(const std::string& hostFolder) : folder_(hostFolder) {
    if (mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) == 0) {
      mounted_ = true;
      if (mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0) return;
    }
    SetWritable(false);
  }
  ~ReadOnlyFolder() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
    SetWritable(true);
  }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

 private:
  void SetWritable(bool writable) {
    namespace fs = std::filesystem;
    auto options = writable ? fs::perm_options::add : fs::perm_options::remove;
    fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    std::error_code ignored;
    std::error_code walk;
    fs::permissions(folder_, write, options, ignored);
    for (auto it = fs::recursive_directory_iterator(folder_, walk); !walk && it != fs::recursive_directory_iterator();
         it.increment(walk)) {
      if (!it->is_symlink(ignored)) fs::permissions(it->path(), write, options, ignored);
    }
  }

  std::string folder_;
  bool mounted_ = false;
};

}  // namespace testsupport
