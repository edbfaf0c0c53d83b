// Test support on the device simulator: every test gets a fresh device.
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/sim_device.h"
#include "tests/support/scratch.h"

namespace testsupport {

void ScratchTest::SetUp() {
  char pattern[] = "/tmp/orvanta-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  hostRoot_ = pattern;
  std::filesystem::create_directories(hostRoot_ + "/C/scratch");
  setenv("ORVANTA_DEVICE_ROOT", hostRoot_.c_str(), 1);
  dir_ = "C:\\scratch";
  ChangeDirectory(dir_);
}

void ScratchTest::TearDown() {
  ASSERT_EQ(chdir("/"), 0);
  std::error_code ignored;
  std::filesystem::remove_all(hostRoot_, ignored);
}

void ChangeDirectory(const std::string& path) {
  std::string host;
  ASSERT_TRUE(platform::sim::MapPath(path, &host)) << path;
  ASSERT_EQ(chdir(host.c_str()), 0) << host;
}

std::string HostPathOf(const std::string& path) {
  std::string host;
  EXPECT_TRUE(platform::sim::MapPath(path, &host)) << path;
  return host;
}

void SetEnvironment(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

std::string Quote(const std::string& argument) {
  std::string quoted = "'";
  for (char c : argument) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

// Close-on-exec ("e"): programs that other tests start meanwhile must not
// hold the pipe, or the helper would never see its input end.
std::FILE* OpenCommandPipe(const std::string& command, const char* mode) {
  return popen(command.c_str(), (std::string(mode) + "e").c_str());
}
int CloseCommandPipe(std::FILE* pipe) {
  int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int RunCommand(const std::string& command) {
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string ProgramPath(const std::string& name) { return std::string(ORVANTA_BIN_DIR) + "/" + name; }

bool UnderWine() { return false; }

std::string UpdateToolName() { return "orvanta-update"; }

}  // namespace testsupport
