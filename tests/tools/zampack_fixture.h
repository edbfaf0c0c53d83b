#pragma once
// The real zampack binary run on host folders, its packages read back by the
// device's own reader.
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "app/run_state.h"
#include "app/test_support.h"
#include "package/layout.h"
#include "package/package.h"
#include "package/test_support.h"
#include "package/verify.h"
#include "tests/support/scratch.h"

namespace tools_test {

namespace fs = std::filesystem;
using namespace package;

class ZampackTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    app::ResetRunState();
    ResetPackageState();
    static std::atomic<int> counter{0};
    host_ = fs::temp_directory_path() /
            ("zampack-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
    fs::create_directories(host_);
  }
  void TearDown() override {
    Package().mapping.Close();
    Package().file.Close();
    ResetPackageState();
    app::ResetRunState();
    std::error_code ignored;
    fs::remove_all(host_, ignored);
    ScratchTest::TearDown();
  }

  std::string Host(const std::string& relative) const { return (host_ / relative).string(); }

  void Put(const std::string& relative, const std::string& content) {
    fs::path path = host_ / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
  }

  static std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Runs zampack; its exit code, with standard output and error in `output`.
  int Zampack(const std::string& arguments, std::string* output = nullptr) {
    std::string log = Host("zampack.out");
    // The command must not begin with a quote, which cmd would strip
    // together with the last one.
    std::string command =
        "cd . && " + testsupport::Quote(ZAMPACK) + " " + arguments + " > " + testsupport::Quote(log) + " 2>&1";
    int status = std::system(command.c_str());
    if (output != nullptr) *output = Slurp(log);
    // The shell reports the exit code in the second byte.
    return status >= 256 ? status >> 8 : status;
  }

  // Copies a host package onto the device and runs it up to stage 8.
  bool Load(const std::string& hostPackage) {
    std::string path = PathOf("p.zam");
    EXPECT_TRUE(testsupport::WriteBytes(path, Slurp(hostPackage)));
    return bOpenUpdateFile(path) && bVerifyUpdateFile(path) && bCreateFileMappings(path) && bLoadPackageTables();
  }

  // The content a selected record inflates to, out of the package mapping.
  std::string Inflate(const FileRecord& record) {
    if (record.Size == 0) return std::string();
    FileView view;
    const std::uint8_t* stream = byGetFileMap(view, Package().mapping, platform::kFileMapRead,
                                              static_cast<std::uint32_t>(StreamPosition(record, Package().DataAreaStart)),
                                              record.StoredSize);
    if (stream == nullptr) return "<unmapped>";
    std::string content(record.Size, '\0');
    uLongf length = record.Size;
    if (uncompress(reinterpret_cast<Bytef*>(content.data()), &length, stream, record.StoredSize) != Z_OK) {
      return "<bad stream>";
    }
    return content.substr(0, length);
  }

  // "PATH FLAGS" per change record, flags as folder/added/changed/removed letters.
  static std::vector<std::string> Changes() {
    std::vector<std::string> lines;
    for (const ChangeRecord& c : Package().ChangeList) {
      std::string flags = std::string(c.IsFolder ? "F" : "") + (c.IsAdded ? "A" : "") + (c.IsChanged ? "C" : "") +
                          (c.IsRemoved ? "R" : "");
      lines.push_back(std::string(c.Path) + " " + flags);
    }
    return lines;
  }

  static std::vector<std::string> Copies() {
    std::vector<std::string> paths;
    for (const FileRecord& record : Package().CopyList) paths.push_back(record.Path);
    return paths;
  }

  fs::path host_;
};

}  // namespace tools_test
