#pragma once
// A small tmpfs mounted over a folder for one test, so that the disk can
// run full there; unmounted when it goes. Mounting needs root (or
// CAP_SYS_ADMIN): where it fails, `reason()` says why and the test skips.
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace testsupport {

class SizeLimitedFolder {
 public:
  SizeLimitedFolder(const std::string& hostFolder, const std::string& size) : folder_(hostFolder) {
    std::string options = "size=" + size + ",mode=0777";
    if (mount("orvanta-test", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
      mounted_ = true;
    } else {
      reason_ = "cannot mount a " + size + " tmpfs on " + folder_ + " (" + std::strerror(errno) +
                "; it needs root): the full-disk case is not tested here";
    }
  }
  ~SizeLimitedFolder() {
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  SizeLimitedFolder(const SizeLimitedFolder&) = delete;
  SizeLimitedFolder& operator=(const SizeLimitedFolder&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& reason() const { return reason_; }

 private:
  std::string folder_;
  std::string reason_;
  bool mounted_ = false;
};

}  // namespace testsupport
