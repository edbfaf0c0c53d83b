// Whole packages made by `zampack diff A B` and applied to a copy of A, as
// the update run applies them: the result is exactly B.
#include <map>

#include "package/extraction.h"
#include "package/folder_stages.h"
#include "platform/restart.h"
#include "tests/package/package_fixture.h"

using namespace package;

namespace {

struct Entry {
  bool folder = false;
  bool readOnly = false;
  std::string content;
  bool operator==(const Entry& other) const {
    return folder == other.folder && readOnly == other.readOnly && content == other.content;
  }
};
using Tree = std::map<std::string, Entry>;

void PrintTo(const Entry& entry, std::ostream* out) {
  *out << (entry.folder ? "folder" : "file") << (entry.readOnly ? " read-only" : "");
  if (!entry.folder) *out << " \"" << entry.content.substr(0, 20) << (entry.content.size() > 20 ? "...\"" : "\"");
}

class ApplyTreeTest : public packagetest::PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
    platform::ClearPendingOperations();
  }
  void TearDown() override {
    platform::ClearPendingOperations();
    PackageTest::TearDown();
  }

  void Make(const std::string& root, const Tree& tree) {
    ASSERT_TRUE(platform::MakeFolder(root));
    for (const auto& [path, entry] : tree) {
      std::string full = root + "\\" + path;
      if (entry.folder) {
        ASSERT_TRUE(platform::MakeFolder(full)) << full;
      } else {
        ASSERT_TRUE(testsupport::WriteBytes(full, entry.content)) << full;
        if (entry.readOnly) {
          ASSERT_TRUE(platform::SetAttributes(full, platform::kAttributeReadOnly));
        }
      }
    }
  }

  Tree Read(const std::string& root, const std::string& prefix = "") {
    Tree tree;
    std::vector<platform::FolderEntry> entries;
    platform::ListFolder(root + "\\*", &entries);
    for (const platform::FolderEntry& e : entries) {
      std::string path = prefix + e.name;
      Entry entry;
      entry.folder = (e.attributes & platform::kAttributeDirectory) != 0;
      entry.readOnly = (e.attributes & platform::kAttributeReadOnly) != 0;
      if (entry.folder) {
        Tree inner = Read(root + "\\" + e.name, path + "\\");
        tree.insert(inner.begin(), inner.end());
      } else {
        entry.content = testsupport::ReadBytes(root + "\\" + e.name);
      }
      tree[path] = entry;
    }
    return tree;
  }

  std::string Diff(const std::string& from, const std::string& to) {
    std::string package = PathOf("update.zam");
    std::string output;
    int code = testsupport::RunProgram(
        "zampack", "diff --type SOFTWARE --name Main " + testsupport::Quote(testsupport::HostPathOf(from)) + " " +
                       testsupport::Quote(testsupport::HostPathOf(to)) + " -o " +
                       testsupport::Quote(testsupport::HostPathOf(package)),
        &output);
    EXPECT_EQ(code, 0) << output;
    return package;
  }

  void ApplyPackage(const std::string& path, const std::string& root) {
    app::Run().LocationPaths[0] = root;
    ASSERT_TRUE(OpenToTables(path)) << Log();
    bDeleteOldFiles();
    bCreateNewFolders();
    bCopyFiles();
    bCloseUpdateFile();
  }

  static Entry File(const std::string& content, bool readOnly = false) { return Entry{false, readOnly, content}; }
  static Entry Folder() { return Entry{true, false, ""}; }

  std::vector<platform::PendingOperation> Pending() {
    std::vector<platform::PendingOperation> operations;
    EXPECT_TRUE(platform::ListPendingOperations(&operations));
    return operations;
  }

  const Tree kOld = {
      {"bin", Folder()},
      {"bin\\engine.dll", File("engine 1")},
      {"bin\\same.dll", File("unchanged")},
      {"bin\\Locked.cfg", File("read-only 1", true)},
      {"data", Folder()},
      {"data\\empty.txt", File("")},
      {"data\\readme.TXT", File("case")},
      {"data\\old", Folder()},
      {"data\\old\\deep", Folder()},
      {"data\\old\\deep\\gone.bin", File("gone")},
      {"top.txt", File("top 1")},
  };
  const Tree kNew = {
      {"bin", Folder()},
      {"bin\\engine.dll", File(std::string(70000, 'e') + "engine 2")},
      {"bin\\same.dll", File("unchanged")},
      {"bin\\Locked.cfg", File("read-only 2", true)},
      {"data", Folder()},
      {"data\\empty.txt", File("")},
      {"data\\README.txt", File("case")},
      {"data\\added", Folder()},
      {"data\\added\\inner", Folder()},
      {"data\\added\\inner\\new.bin", File("new")},
      {"data\\added\\empty-new.txt", File("")},
      {"top.txt", File("top 2", true)},
  };
};

TEST_F(ApplyTreeTest, ADiffPackageTurnsACopyOfTheOldTreeIntoTheNewOne) {
  Make(PathOf("A"), kOld);
  Make(PathOf("B"), kNew);
  Make(PathOf("Device"), kOld);
  Make(PathOf("Outside"), {{"keep.txt", File("outside")}});
  ApplyPackage(Diff(PathOf("A"), PathOf("B")), PathOf("Device"));
  EXPECT_EQ(Read(PathOf("Device")), kNew);
  EXPECT_EQ(Read(PathOf("Outside")), (Tree{{"keep.txt", File("outside")}}));
  EXPECT_FALSE(testsupport::Exists(PathOf("Run\\Tmp")));
  EXPECT_FALSE(app::Run().bRebootRequired);
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
}

TEST_F(ApplyTreeTest, AFileInUseIsReplacedAtTheRestart) {
  Make(PathOf("A"), kOld);
  Make(PathOf("B"), kNew);
  Make(PathOf("Device"), kOld);
  std::string engine = PathOf("Device\\bin\\engine.dll");
  {
    testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(engine) + " read none");
    ASSERT_EQ(holder.FirstLine(), "opened");
    ApplyPackage(Diff(PathOf("A"), PathOf("B")), PathOf("Device"));
    EXPECT_EQ(testsupport::ReadBytes(engine), "<missing>") << "held without read sharing";
  }
  EXPECT_EQ(testsupport::ReadBytes(engine), "engine 1");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\engine.dlla")), kNew.at("bin\\engine.dll").content);
  std::vector<platform::PendingOperation> pending;
  ASSERT_TRUE(platform::ListPendingOperations(&pending));
  ASSERT_EQ(pending.size(), 4u);
  EXPECT_EQ(pending[0].from, engine);
  EXPECT_EQ(pending[1].from, engine);
  EXPECT_EQ(pending[2].to, engine);
  EXPECT_TRUE(app::Run().bRebootRequired);

  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(Read(PathOf("Device")), kNew);
}

// A record that names the destination root itself (and would delete it
// whole) or a device (which the device would open as the port) is refused;
// the package's other records are applied.
TEST_F(ApplyTreeTest, RecordsNamingTheRootOrADeviceAreRefusedAndTheRestApplied) {
  Make(PathOf("Device"), kOld);
  Make(PathOf("Outside"), {{"keep.txt", File("outside")}});
  zampack::PackageImage image = Image();
  const std::vector<std::string> roots = {"\\.", ".", "\\sub\\..", "\\a\\.\\..\\..", "\\ . "};
  const std::vector<std::string> devices = {"\\COM1", "\\con.txt", "\\sub\\NUL.", "\\LPT9.log"};
  for (const std::string& path : roots) AddChange(image, path, true, true, false, true);
  AddChange(image, "\\sub", true, true, false, false);
  AddChange(image, "\\sub\\good.txt", false, true, false, false);
  AddFile(image, "\\sub\\good.txt", "good");
  for (const std::string& path : devices) {
    AddChange(image, path, false, true, true, false);
    AddFile(image, path, "to a port");
  }
  ApplyPackage(Write(Encode(image)), PathOf("Device"));

  Tree expected = kOld;
  expected["sub"] = Folder();
  expected["sub\\good.txt"] = File("good");
  EXPECT_EQ(Read(PathOf("Device")), expected);
  EXPECT_EQ(Read(PathOf("Outside")), (Tree{{"keep.txt", File("outside")}}));
  for (const std::string& path : roots) {
    EXPECT_NE(Log().find("ERROR: bLoadPackageTables: change record path \"" + path + "\" leaves the destination; skipped."),
              std::string::npos)
        << path;
  }
  for (const std::string& path : devices) {
    EXPECT_NE(Log().find("ERROR: bLoadPackageTables: change record path \"" + path + "\" names a device; skipped."),
              std::string::npos)
        << path;
  }
  EXPECT_TRUE(Pending().empty());
}

}  // namespace
