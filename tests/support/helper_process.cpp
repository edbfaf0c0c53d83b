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

HelperProcess::HelperProcess(const std::string& program, const std::string& arguments) {
  std::random_device random;
  outputPath_ = (std::filesystem::temp_directory_path() /
                 ("orvanta-helper-" + std::to_string(random()) + ".txt"))
                    .string();
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

int RunProgram(const std::string& name, const std::string& arguments, std::string* output) {
  std::FILE* pipe = OpenCommandPipe(Quote(ProgramPath(name)) + " " + arguments, "r");
  if (pipe == nullptr) return -1;
  std::string text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) text.append(buffer, n);
  int code = CloseCommandPipe(pipe);
  if (output != nullptr) *output = text;
  return code;
}

}  // namespace testsupport
