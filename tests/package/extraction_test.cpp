// Stage 3: files inflated into place, files in use replaced at the restart,
// the read-back check and its retries, installers collected.
#include "package/extraction.h"
#include "package/folder_stages.h"
#include "platform/restart.h"
#include "tests/package/package_fixture.h"

using namespace package;

namespace {

class ExtractionTest : public packagetest::PackageTest {
 protected:
  void SetUp() override {
    PackageTest::SetUp();
    testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
    platform::ClearPendingOperations();
    app::Run().LocationPaths[0] = PathOf("Root");
    ASSERT_TRUE(platform::MakeFolder(PathOf("Root")));
  }
  void TearDown() override {
    platform::ClearPendingOperations();
    PackageTest::TearDown();
  }
  // Loads a package of new files and runs stage 3 on it.
  void Apply(zampack::PackageImage image) {
    for (const zampack::DeliveredFile& file : image.files) {
      std::string path;
      RecordPathText(file.record.Path, &path);
      AddChange(image, path, false, true, false, false);
    }
    ASSERT_TRUE(OpenToTables(Write(Encode(image))));
    bCopyFiles();
    bCloseUpdateFile();
  }
  std::vector<platform::PendingOperation> Pending() {
    std::vector<platform::PendingOperation> operations;
    EXPECT_TRUE(platform::ListPendingOperations(&operations));
    return operations;
  }
};

TEST_F(ExtractionTest, FilesAreInflatedWithTheirAttributes) {
  zampack::PackageImage image = Image();
  AddFile(image, "readme.txt", "hello device");
  AddFile(image, "\\empty.dat", "");
  image.files.back().record.Attributes = platform::kAttributeReadOnly | platform::kAttributeHidden;
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) % 251);
  AddFile(image, "big.bin", big);
  // Existing files written over: a longer one is cut to the new length.
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\readme.txt"), "an older, longer readme of the device"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\empty.dat"), "not empty before"));
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\readme.txt")), "hello device");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\empty.dat")), "");
  platform::Dword archive = testsupport::UnderWine() ? platform::kAttributeArchive : 0;
  EXPECT_EQ(platform::FileAttributes(PathOf("Root\\empty.dat")),
            platform::kAttributeReadOnly | platform::kAttributeHidden | archive);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\big.bin")), big);
  EXPECT_TRUE(app::Run().Installers.empty());
  EXPECT_FALSE(app::Run().bRebootRequired);
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
}

TEST_F(ExtractionTest, AFileInUseGoesToTmpAndIsSwappedInAtTheRestart) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\engine.dll"), "old engine"));
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(PathOf("Root\\engine.dll")) + " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  zampack::PackageImage image = Image();
  AddFile(image, "engine.dll", "new engine");
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\engine.dlla")), "new engine");
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 3u);
  EXPECT_TRUE(pending[0].isDelete);
  EXPECT_EQ(pending[0].from, PathOf("Root\\engine.dll"));
  EXPECT_EQ(pending[1].from, PathOf("Run\\Tmp\\engine.dlla"));
  EXPECT_EQ(pending[1].to, PathOf("Root\\engine.dll"));
  EXPECT_TRUE(pending[2].isDelete);
  EXPECT_EQ(pending[2].from, PathOf("Run\\Tmp\\engine.dlla"));
  EXPECT_TRUE(app::Run().bRebootRequired);

  holder.Stop();
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\engine.dll")), "new engine");
  EXPECT_FALSE(testsupport::Exists(PathOf("Run\\Tmp\\engine.dlla")));
}

TEST_F(ExtractionTest, TheReplacementNameSearchSkipsNamesInUseAndTriesEveryNameThatFits) {
  ASSERT_TRUE(platform::MakeFolder(PathOf("Run\\Tmp")));
  for (char c = 'a'; c <= 'z'; ++c) ASSERT_TRUE(testsupport::WriteBytes(PathOf("Run\\Tmp\\voice.dat") + c, "older"));
  // A leaf whose first replacement name takes the whole 259 characters: it
  // is taken, and ...b still fits although ...aa would not.
  std::string leaf(259 - PathOf("Run\\Tmp\\").size() - 1, 'L');
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Run\\Tmp\\") + leaf + "a", "older"));
  for (const std::string& name : {std::string("voice.dat"), leaf}) {
    ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\") + name, "old"));
  }
  testsupport::HelperProcess voice(testsupport::HoldfilePath(), testsupport::Quote(PathOf("Root\\voice.dat")) + " read none");
  testsupport::HelperProcess longName(testsupport::HoldfilePath(), testsupport::Quote(PathOf("Root\\") + leaf) + " read none");
  ASSERT_EQ(voice.FirstLine(), "opened");
  ASSERT_EQ(longName.FirstLine(), "opened");
  zampack::PackageImage image = Image();
  AddFile(image, "voice.dat", "new voice");
  AddFile(image, leaf, "long name");
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\voice.datza")), "new voice");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\") + leaf + "b"), "long name") << Log();
  std::vector<platform::PendingOperation> pending = Pending();
  ASSERT_EQ(pending.size(), 6u);
  EXPECT_EQ(pending[1].to, PathOf("Root\\voice.dat"));
  EXPECT_EQ(pending[4].to, PathOf("Root\\") + leaf);
}

TEST_F(ExtractionTest, WhenNoReplacementCanBeCreatedTheAttemptFails) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Run\\Tmp"), "a file where the folder should be"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\x.dat"), "old"));
  testsupport::HelperProcess holder(testsupport::HoldfilePath(), testsupport::Quote(PathOf("Root\\x.dat")) + " read none");
  ASSERT_EQ(holder.FirstLine(), "opened");
  zampack::PackageImage image = Image();
  AddFile(image, "x.dat", "x");
  Apply(image);
  EXPECT_NE(Log().find("ERROR: bCopyFile() could not create a replacement file for \"x.dat\""), std::string::npos)
      << Log();
  EXPECT_TRUE(Pending().empty());
  EXPECT_FALSE(app::Run().bRebootRequired);
}

// A destination folder the device does not have yet is made before the
// file is written; a restart is never asked to move a file into a folder
// that will not be there.
TEST_F(ExtractionTest, MissingFoldersAreMadeAndOnlyInUseFilesWaitForTheRestart) {
  zampack::PackageImage image = Image();
  AddFile(image, "Missing\\deeper\\voice.dat", "new voice");
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\Missing\\deeper\\voice.dat")), "new voice");

  // A language the device never had: the package's own folder and its location are both missing.
  app::Run().LocationPaths[2] = PathOf("Languages");
  zampack::PackageImage language = Image(2, u"Deutsch");
  AddFile(language, "strings.xml", "<Strings/>");
  AddFile(language, "\\voice\\anna.dat", "anna");
  Apply(language);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Languages\\Deutsch\\strings.xml")), "<Strings/>");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Languages\\Deutsch\\voice\\anna.dat")), "anna");
  EXPECT_TRUE(Pending().empty());
  EXPECT_FALSE(app::Run().bRebootRequired);
  EXPECT_FALSE(testsupport::Exists(PathOf("Run\\Tmp")));
  EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
}

TEST_F(ExtractionTest, AFolderThatCannotBeMadeIsNeverTheTargetOfAMove) {
  platform::ArmFault(platform::FaultOp::MakeFolder, -1, platform::kErrorAccessDenied);
  zampack::PackageImage image = Image();
  AddFile(image, "New\\a.txt", "a");
  Apply(image);
  platform::ClearFaults();
  EXPECT_NE(Log().find("ERROR: bCopyFile() cannot create the folder \"" + PathOf("Root\\New") + "\" for \"" +
                       PathOf("Root\\New\\a.txt") + "\" (error 5)."),
            std::string::npos)
      << Log();
  EXPECT_TRUE(Pending().empty());
  EXPECT_FALSE(testsupport::Exists(PathOf("Run\\Tmp\\a.txta")));
  EXPECT_FALSE(app::Run().bRebootRequired);

  // A folder that stage 7 could only prepare in Tmp\ arrives at the restart;
  // the file follows it there.
  ASSERT_TRUE(platform::MakeFolder(PathOf("Run\\Tmp")));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Run\\Tmp\\New")));
  ASSERT_TRUE(platform::MoveAtRestart(PathOf("Run\\Tmp\\New"), PathOf("Root\\New")));
  platform::ArmFault(platform::FaultOp::MakeFolder, -1, platform::kErrorAccessDenied);
  Apply(image);
  platform::ClearFaults();
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\a.txta")), "a");
  EXPECT_EQ(Pending().size(), 4u);
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\New\\a.txt")), "a");
}

// Unbuffered reads need an aligned buffer, not a locked one: a refused lock
// is noted once and every check still reads the disk.
TEST_F(ExtractionTest, TheReadBackCheckGoesOnWhenTheBufferCannotBeLocked) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\written.bin"), "written"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\zeros.bin"), std::string(100, '\0')));
  platform::ArmFault(platform::FaultOp::LockMemory, 1, 1453);
  EXPECT_TRUE(bCheckWrittenFile(PathOf("Root\\written.bin")));
  EXPECT_FALSE(bCheckWrittenFile(PathOf("Root\\zeros.bin")));
  EXPECT_TRUE(bCheckWrittenFile(PathOf("Root\\written.bin")));
  EXPECT_FALSE(Package().readBackBuffer.locked());
  EXPECT_EQ(Log().find("ERROR"), std::string::npos);
  std::string line = "bCheckWrittenFile: the read-back buffer could not be locked in memory (error 1453); using it unlocked.";
  std::size_t first = Log().find(line);
  EXPECT_NE(first, std::string::npos) << Log();
  EXPECT_EQ(Log().find(line, first + 1), std::string::npos) << "noted once";
}

TEST_F(ExtractionTest, AFileThatReadsBackAsZerosIsTriedThirtyTimes) {
  std::string zeros(10000, '\0');
  zeros[5000] = 'x';
  zampack::PackageImage image = Image();
  AddFile(image, "zeros.bin", zeros);
  AddFile(image, "one.bin", "\x01");
  // Each attempt sets the attributes twice, which the seam counts.
  platform::ArmFault(platform::FaultOp::SetAttributes, 1000, platform::kErrorAccessDenied);
  Apply(image);
  EXPECT_EQ(1000 - platform::RemainingFaults(platform::FaultOp::SetAttributes), 2 * 30 + 2);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\one.bin")), "\x01");
}

TEST_F(ExtractionTest, ACorruptStreamIsNeverCountedAsWritten) {
  zampack::PackageImage image = Image();
  AddFile(image, "corrupt.bin", std::string(5000, 'c'));
  image.files.back().storeRaw = true;
  image.files.back().autoSize = false;
  image.files.back().record.Size = 5000;
  AddFile(image, "short.bin", "this stream inflates to fewer bytes than its record says");
  image.files.back().autoSize = false;
  image.files.back().record.Size = 100000;
  Apply(image);
  std::string log = Log();
  std::size_t count = 0;
  for (std::size_t at = log.find("ERROR: uncompress() failed"); at != std::string::npos;
       at = log.find("ERROR: uncompress() failed", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 60u) << "30 attempts for each record";
  EXPECT_NE(log.find("for \"short.bin\" (56 of 100000 bytes)"), std::string::npos) << log;
}

TEST_F(ExtractionTest, InstallersAtTheTopOfTheRootAreCollectedOnce) {
  ASSERT_TRUE(platform::MakeFolder(PathOf("Root\\tools")));
  zampack::PackageImage image = Image();
  AddFile(image, "setup.msi", "msi 1");
  AddFile(image, "\\Drivers.MSI", "msi 2");
  AddFile(image, "tools\\inner.msi", "msi 3");
  AddFile(image, "notes.msi.txt", "text");
  Apply(image);
  Apply(image);
  EXPECT_EQ(app::Run().Installers,
            (std::vector<std::string>{PathOf("Root\\setup.msi"), PathOf("Root\\Drivers.MSI")}));
}

// An earlier run that ended before the restart left a deletion or a
// replacement pending for a destination: written now, the restart would
// delete it or move the older content over it. It goes through a
// replacement file of its own, scheduled behind the earlier operations.
TEST_F(ExtractionTest, ADestinationWithAPendingChangeIsWrittenThroughAReplacement) {
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\deleted.dll"), "old"));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Root\\moved.dll"), "old"));
  ASSERT_TRUE(platform::MakeFolder(PathOf("Run\\Tmp")));
  ASSERT_TRUE(testsupport::WriteBytes(PathOf("Run\\Tmp\\moved.dlla"), "older replacement"));
  ASSERT_TRUE(platform::DeleteAtRestart(PathOf("Root\\deleted.dll")));
  ASSERT_TRUE(platform::DeleteAtRestart(PathOf("Root\\moved.dll")));
  ASSERT_TRUE(platform::MoveAtRestart(PathOf("Run\\Tmp\\moved.dlla"), PathOf("Root\\moved.dll")));
  zampack::PackageImage image = Image();
  AddFile(image, "deleted.dll", "newest deleted");
  AddFile(image, "moved.dll", "newest moved");
  AddFile(image, "free.dll", "free");
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\deleted.dlla")), "newest deleted");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Run\\Tmp\\moved.dllb")), "newest moved");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\free.dll")), "free") << "nothing pending: written at once";
  EXPECT_EQ(Pending().size(), 3u + 6u);
  EXPECT_TRUE(app::Run().bRebootRequired);
  std::string output;
  ASSERT_EQ(testsupport::RunProgram("orvanta-sim", "restart", &output), 0) << output;
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\deleted.dll")), "newest deleted");
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\moved.dll")), "newest moved");
}

// Only the body is covered by the checksum: a stream that lies in the
// header, even in part, could be changed after sealing and is refused.
TEST_F(ExtractionTest, AStreamInTheHeaderIsRefusedAndTheRestApplied) {
  zampack::PackageImage image = Image();
  AddFile(image, "good.txt", "good");
  AddFile(image, "detail.txt", "");
  AddFile(image, "straddle.txt", "");
  for (std::size_t i : {1u, 2u}) {
    zampack::DeliveredFile& file = image.files[i];
    file.autoSize = file.autoStoredSize = file.autoOffset = false;
    file.record.IsAbsoluteOffset = 1;
    file.record.Size = 10;
    file.record.StoredSize = 40;
    file.record.Offset = i == 1 ? 268 : package::kHeaderSize - 20;
  }
  Apply(image);
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Root\\good.txt")), "good");
  EXPECT_FALSE(testsupport::Exists(PathOf("Root\\detail.txt")));
  EXPECT_FALSE(testsupport::Exists(PathOf("Root\\straddle.txt")));
  EXPECT_NE(Log().find("ERROR: bLoadPackageTables: stream of \"detail.txt\" (40 bytes at 268) lies outside the package body; skipped."),
            std::string::npos)
      << Log();
  EXPECT_NE(Log().find("ERROR: bLoadPackageTables: stream of \"straddle.txt\" (40 bytes at 448) lies outside the package body"),
            std::string::npos);
}

}  // namespace
