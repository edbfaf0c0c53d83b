// The real zampack binary: trees in host folders in, package bytes out, read
// back by the device's own reader.
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

namespace fs = std::filesystem;
using namespace package;

namespace {

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

TEST_F(ZampackTest, BuildAddsEveryFileAndFolderAndIsDeterministic) {
  std::string binary(100000, '\0');
  std::mt19937 random(7);
  for (char& c : binary) c = static_cast<char>(random());
  Put("tree/b.txt", "bravo");
  Put("tree/a/x.bin", binary);
  Put("tree/empty.txt", "");
  Put("tree/ro.txt", "read only");
  fs::create_directories(host_ / "tree/a/sub");
  fs::permissions(host_ / "tree/ro.txt", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::string command = "build --type MAP --name Europe --detail \"Release 7\" " + testsupport::Quote(Host("tree")) +
                        " -o " + testsupport::Quote(Host("first.zam"));
  ASSERT_EQ(Zampack(command), 0);

  app::Run().LocationPaths[version::MAP] = "C:\\Maps";
  ASSERT_TRUE(Load(Host("first.zam")));
  EXPECT_EQ(Package().DestinationRoot, "C:\\Maps\\Europe\\");
  EXPECT_EQ(HeaderText(Package().header.Detail), u"Release 7");
  EXPECT_EQ(Changes(), (std::vector<std::string>{"\\a FA", "\\a\\sub FA", "\\a\\x.bin A", "\\b.txt A",
                                                 "\\empty.txt A", "\\ro.txt A"}));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\a\\x.bin", "\\b.txt", "\\empty.txt", "\\ro.txt"}));
  EXPECT_EQ(Inflate(Package().CopyList[0]), binary);
  EXPECT_EQ(Inflate(Package().CopyList[1]), "bravo");
  EXPECT_EQ(Package().CopyList[2].Size, 0u);
  EXPECT_EQ(Package().CopyList[3].Attributes & platform::kAttributeReadOnly, platform::kAttributeReadOnly);
  EXPECT_EQ(Package().CopyList[1].Attributes & platform::kAttributeReadOnly, 0u);
  EXPECT_EQ(Package().CopyTotal, 100000u + 5 + 9);

  // Same inputs, later times: the same bytes.
  fs::last_write_time(host_ / "tree/b.txt", fs::file_time_type::clock::now() + std::chrono::hours(1));
  std::string again = "build --type 3 --name Europe --detail \"Release 7\" " + testsupport::Quote(Host("tree")) +
                      " -o " + testsupport::Quote(Host("second.zam"));
  ASSERT_EQ(Zampack(again), 0);
  EXPECT_EQ(Slurp(Host("first.zam")), Slurp(Host("second.zam")));
  std::string output;
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("first.zam")), &output), 0) << output;
}

TEST_F(ZampackTest, DiffDeliversOnlyWhatIsNewOrChanged) {
  Put("old/same.txt", "same");
  Put("old/changed.txt", "before");
  Put("old/removed.txt", "gone");
  Put("old/olddir/inner/deep.txt", "gone with its folder");
  Put("old/tofolder", "a file that becomes a folder");
  Put("old/tofile/x.txt", "a folder that becomes a file");
  Put("old/Case.txt", "same content");
  Put("new/same.txt", "same");
  Put("new/changed.txt", "after");
  Put("new/added.txt", "new");
  Put("new/newdir/inner/deep.txt", "new with its folders");
  Put("new/tofolder/y.txt", "inside");
  Put("new/tofile", "now a file");
  Put("new/case.TXT", "same content");
  std::string command = "diff --type SOFTWARE --name Main " + testsupport::Quote(Host("old")) + " " +
                        testsupport::Quote(Host("new")) + " -o " + testsupport::Quote(Host("d.zam"));
  std::string output;
  ASSERT_EQ(Zampack(command, &output), 0) << output;
  ASSERT_TRUE(Load(Host("d.zam")));
  EXPECT_EQ(Changes(), (std::vector<std::string>{
                           "\\added.txt A", "\\case.TXT C", "\\changed.txt C", "\\newdir FA", "\\newdir\\inner FA",
                           "\\newdir\\inner\\deep.txt A", "\\tofile A", "\\tofolder FA", "\\tofolder\\y.txt A",
                           "\\olddir FR", "\\removed.txt R", "\\tofile FR", "\\tofolder R"}));
  // The file that replaces a folder comes first under its path, so it is written.
  EXPECT_EQ(Copies(), (std::vector<std::string>{"\\added.txt", "\\case.TXT", "\\changed.txt", "\\newdir\\inner\\deep.txt",
                                                "\\tofile", "\\tofolder\\y.txt"}));
  EXPECT_EQ(Inflate(Package().CopyList[2]), "after");
  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("d.zam")), &output), 0) << output;
}

TEST_F(ZampackTest, ManifestSetsEveryFieldAndVerifyNamesEachFault) {
  Put("content.bin", "from a file");
  Put("m.txt",
      "# odd on purpose\n"
      "header type=VOICE name=\"Anna\" detail=\"test voice\" padding=10\n"
      "change path=\"\\a.txt\" added=1\n"
      "change path=\"\\lies.txt\" changed=1\n"
      "change path=\"\\raw.txt\" added=1\n"
      "change path=\"..\\out.txt\" added=1\n"
      "file path=\"\\a.txt\" text=\"alpha\" attributes=0x21 absolute=1\n"
      "file path=\"\\orphan.txt\" source=content.bin\n"
      "file path=\"\\lies.txt\" text=\"short\" size=50\n"
      "file path=\"\\raw.txt\" text=\"not zlib\" store=raw\n");
  std::string output;
  ASSERT_EQ(Zampack("manifest " + testsupport::Quote(Host("m.txt")) + " -o " + testsupport::Quote(Host("m.zam")),
                    &output),
            0)
      << output;
  ASSERT_EQ(Zampack("list " + testsupport::Quote(Host("m.zam")), &output), 0);
  EXPECT_NE(output.find("PackageType       9 (VOICE)"), std::string::npos) << output;
  EXPECT_NE(output.find("FileTableOffset   " + std::to_string(kChangeHeadSize + 4 * kChangeRecordSize + 10)),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("0x00000021          5"), std::string::npos) << output;
  EXPECT_NE(output.find("        50 "), std::string::npos) << output;

  EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("m.zam")), &output), 1);
  std::string prefix = "zampack verify: " + Host("m.zam") + ": ";
  EXPECT_NE(output.find(prefix + "change record 3: path \"..\\out.txt\" leaves the destination"), std::string::npos)
      << output;
  EXPECT_NE(output.find(prefix + "file record 2 \"\\lies.txt\": stream does not inflate to its size of 50 bytes"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find(prefix + "file record 3 \"\\raw.txt\": stream does not inflate"), std::string::npos);
  // The orphan is carried, never written: not a fault.
  EXPECT_EQ(output.find("orphan"), std::string::npos) << output;

  // The device selects the same records; the absolute offset points at its stream.
  ASSERT_TRUE(Load(Host("m.zam")));
  ASSERT_EQ(Copies(), (std::vector<std::string>{"\\a.txt", "\\lies.txt", "\\raw.txt"}));
  EXPECT_NE(Package().CopyList[0].IsAbsoluteOffset, 0u);
  EXPECT_EQ(Inflate(Package().CopyList[0]), "alpha");
}

TEST_F(ZampackTest, VerifyRefusesDamagedPackages) {
  Put("tree/a.txt", "alpha");
  ASSERT_EQ(Zampack("build --type 0 --name Main " + testsupport::Quote(Host("tree")) + " -o " +
                    testsupport::Quote(Host("good.zam"))),
            0);
  std::string good = Slurp(Host("good.zam"));
  struct Case {
    std::string bytes;
    std::string fault;
  };
  std::string flipped = good;
  flipped.back() ^= 1;
  std::string identifier = good;
  identifier[0] = 'X';
  std::string longTable = good;
  longTable[kHeaderSize + 3] = 0x7F;
  const Case cases[] = {
      {flipped, "does not match the body's MD5"},
      {identifier, "identifier is not ZAM_UPDATE_FILE"},
      {good.substr(0, 600), "too short for its change-list head (600 bytes)"},
      {good.substr(0, 100), "shorter than its 468-byte header (100 bytes)"},
      {longTable, "runs past the end"},
  };
  for (const Case& c : cases) {
    std::ofstream(Host("bad.zam"), std::ios::binary | std::ios::trunc) << c.bytes;
    std::string output;
    EXPECT_EQ(Zampack("verify " + testsupport::Quote(Host("bad.zam")), &output), 1) << c.fault;
    EXPECT_NE(output.find(c.fault), std::string::npos) << output;
  }
}

TEST_F(ZampackTest, EveryCommandHasHelp) {
  std::string output;
  for (const char* command : {"build", "diff", "manifest", "list", "verify"}) {
    EXPECT_EQ(Zampack(std::string(command) + " --help", &output), 0) << command;
    EXPECT_EQ(output.rfind(std::string("usage: zampack ") + command, 0), 0u) << output;
  }
  EXPECT_EQ(Zampack("--help", &output), 0);
  EXPECT_NE(output.find("verify    the checksum"), std::string::npos);
  EXPECT_EQ(Zampack("", &output), 2);
  EXPECT_EQ(Zampack("build --name x", &output), 2);
  EXPECT_EQ(Zampack("build --type NOPE --name x " + testsupport::Quote(Host(".")) + " -o " +
                        testsupport::Quote(Host("x.zam")),
                    &output),
            1);
  EXPECT_NE(output.find("zampack build: unknown package type: NOPE"), std::string::npos) << output;
}

}  // namespace
