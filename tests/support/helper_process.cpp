#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "tests/support/scratch.h"

namespace testsupport {

std::FILE* OpenCommandPipe(const std::string& command, const char* mode);
int CloseCommandPipe(std::FILE* pipe);
int RunCommand(const std::string& command);

namespace {

std::string NewOutputPath() {
  std::random_device random;
  return (std::filesystem::temp_directory_path() / ("orvanta-helper-" + std::to_string(random()) + ".txt")).string();
}

}  // namespace

HelperProcess::HelperProcess(const std::string& program, const std::string& arguments) {
  outputPath_ = NewOutputPath();
  pipe_ = OpenCommandPipe(Quote(program) + " " + arguments + " > " + Quote(outputPath_), "w");
}

HelperProcess::~HelperProcess() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove(outputPath_, ignored);
}

std::string HelperProcess::FirstLine() {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(outputPath_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string content = text.str();
    std::size_t end = content.find('\n');
    if (end != std::string::npos) {
      std::string line = content.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "<no output>";
}

void HelperProcess::Stop() {
  if (pipe_ == nullptr) return;
  CloseCommandPipe(pipe_);
  pipe_ = nullptr;
}

bool CopyProgram(const std::string& name, const std::string& devicePath) {
  std::error_code error;
  std::filesystem::copy_file(ProgramPath(name), HostPathOf(devicePath),
                             std::filesystem::copy_options::overwrite_existing, error);
  return !error;
}

// The output goes to a file, never to a pipe read to its end: a program that
// the one run here leaves running (a service, an application it launched)
// would hold such a pipe open and the read would never end.
int RunProgram(const std::string& name, const std::string& arguments, std::string* output) {
  std::string outputPath = NewOutputPath();
  // The redirection comes first, so that a "2>&1" among the arguments joins it.
  int code = RunCommand(Quote(ProgramPath(name)) + " > " + Quote(outputPath) + " " + arguments);
  std::ifstream in(outputPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  std::error_code ignored;
  std::filesystem::remove(outputPath, ignored);
  if (output != nullptr) *output = text.str();
  return code;
}

}  // namespace testsupport
