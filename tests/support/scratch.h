#pragma once
// Test support shared by every suite: a fresh folder per test, file contents
// through the operating-system layer, and helper programs held open.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace testsupport {

// Each test gets a fresh empty folder, which is also the working directory:
// "C:\scratch" on a fresh simulated device, a new temporary folder on Windows.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  const std::string& Dir() const { return dir_; }
  // Dir() + "\" + relative.
  std::string PathOf(const std::string& relative) const { return dir_ + "\\" + relative; }

 private:
  std::string dir_;
  std::string hostRoot_;
};

// The whole content of a file, or "<missing>" when it cannot be opened.
std::string ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// UTF-16LE bytes of `text`, one unit after the other, low byte first, with no
// byte-order mark.
std::string Utf16Le(const std::u16string& text);
// The lines of a run log, each without its time prefix.
std::vector<std::string> LogEntries(const std::string& log);
void ChangeDirectory(const std::string& path);
// The host's name of a device path, for host tools such as zampack (on
// Windows the path itself).
std::string HostPathOf(const std::string& path);
void SetEnvironment(const std::string& name, const std::string& value);
// True for the Windows tests when they run under Wine, where some behaviour
// differs from Windows; such tests say so in their names.
bool UnderWine();

// A helper program of tests/helpers started with its arguments; its standard
// input stays open until Stop() or destruction, and its output goes to a file.
class HelperProcess {
 public:
  HelperProcess(const std::string& program, const std::string& arguments);
  ~HelperProcess();
  // The first line it printed (waits up to 10 s for it).
  std::string FirstLine();
  // Closes its standard input and waits for it to end.
  void Stop();

 private:
  std::FILE* pipe_ = nullptr;
  std::string outputPath_;
};

// A program of this build ("holdfile", "orvanta-sim", ...), from the folder
// the test executables are built in.
std::string ProgramPath(const std::string& name);
// "holdfile PATH ACCESS SHARE" holding a file; FirstLine() is "opened" or "failed CODE".
inline std::string HoldfilePath() { return ProgramPath("holdfile"); }

// Copies a program of this build to a path on the device (it keeps being a
// program there).
bool CopyProgram(const std::string& name, const std::string& devicePath);

// The update tool's program name on this backend.
std::string UpdateToolName();

// Runs a program of this build to its end; returns its exit code, and its
// standard output in `output` when given.
int RunProgram(const std::string& name, const std::string& arguments, std::string* output = nullptr);
std::string Quote(const std::string& argument);

}  // namespace testsupport
