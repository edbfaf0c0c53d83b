// Test support on Windows: every test gets a fresh temporary folder.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/support/scratch.h"

namespace testsupport {

void ScratchTest::SetUp() {
  std::random_device random;
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("orvanta-test-" + std::to_string(random()));
  std::filesystem::create_directories(dir);
  hostRoot_ = dir.string();
  dir_ = hostRoot_;
  while (!dir_.empty() && (dir_.back() == '\\' || dir_.back() == '/')) dir_.pop_back();
  ChangeDirectory(dir_);
}

void ScratchTest::TearDown() {
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::error_code ignored;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(hostRoot_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(hostRoot_, ignored);
}

void ChangeDirectory(const std::string& path) { std::filesystem::current_path(path); }

std::string HostPathOf(const std::string& path) { return path; }

void SetEnvironment(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

std::string Quote(const std::string& argument) { return "\"" + argument + "\""; }

// cmd.exe drops the outermost quotes of its command, so the whole command is quoted once more.
std::FILE* OpenCommandPipe(const std::string& command, const char* mode) {
  return _popen(("\"" + command + "\"").c_str(), mode);
}
int CloseCommandPipe(std::FILE* pipe) { return _pclose(pipe); }
// cmd answers 9009 when it cannot start the program. Under Wine that has
// happened to a program that was there, started as another process of the
// same program ended; such a start is tried again. A program that is really
// missing fails all three times.
int RunCommand(const std::string& command) {
  int code = 0;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    code = std::system(("\"" + command + "\"").c_str());
    if (code != 9009) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return code;
}

// The programs are built beside the test executables; ORVANTA_UPDATE_TOOL
// names another build of the update tool to run instead (the release one).
std::string ProgramPath(const std::string& name) {
  const char* updateTool = getenv("ORVANTA_UPDATE_TOOL");
  if (name == UpdateToolName() && updateTool != nullptr && *updateTool != '\0') return updateTool;
  std::filesystem::path folder = _pgmptr != nullptr ? std::filesystem::path(_pgmptr).parent_path() : ".";
  return (folder / (name + ".exe")).string();
}

// Wine hands the Unix environment, WINEPREFIX included, to Windows programs.
bool UnderWine() { return getenv("WINEPREFIX") != nullptr; }

std::string UpdateToolName() { return "OrvantaUpdate"; }

}  // namespace testsupport
