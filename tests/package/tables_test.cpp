// Stage 8: the change list and the file table read out of the mapped
// package, what gets selected for writing, and every malformed table or
// record refused without reading outside the package.
#include <algorithm>
#include <cstring>
#include <vector>

#include "tests/package/package_fixture.h"

using namespace package;
using packagetest::PackageTest;

namespace {

class TablesTest : public PackageTest {
 protected:
  std::vector<std::string> CopyPaths() {
    std::vector<std::string> paths;
    for (const FileRecord& record : Package().CopyList) paths.push_back(record.Path);
    return paths;
  }
  std::vector<std::string> ChangePaths() {
    std::vector<std::string> paths;
    for (const ChangeRecord& record : Package().ChangeList) paths.push_back(record.Path);
    return paths;
  }
  bool LogHas(const std::string& line) { return Log().find(line) != std::string::npos; }
  std::size_t ErrorLines() {
    std::string log = Log();
    std::size_t count = 0;
    for (std::size_t at = log.find("ERROR: "); at != std::string::npos; at = log.find("ERROR: ", at + 1)) ++count;
    return count;
  }
  // Loads a package whose bytes were changed after encoding.
  bool LoadPatched(std::string bytes) {
    Reseal(bytes);
    return OpenToTables(Write(bytes));
  }
};

// Position of change record `i`'s Path, and of file record `i` in a package
// with `changes` change records and no padding.
std::size_t ChangeAt(std::size_t i) { return kChangeListStart + i * kChangeRecordSize; }
std::size_t FileAt(std::size_t changes, std::size_t i) {
  return kChangeListStart + changes * kChangeRecordSize + 4 + i * kFileRecordSize;
}

TEST_F(TablesTest, RecordsSelectTotalsAndCopies) {
  zampack::PackageImage image = Image();
  AddChange(image, "\\new", true, true, false, false);
  AddChange(image, "\\new\\a.txt", false, true, false, false);
  AddChange(image, "\\b.txt", false, false, true, false);
  AddChange(image, "\\gone.txt", false, false, false, true);
  AddChange(image, "\\old", true, false, false, true);
  AddChange(image, "\\again", true, true, false, true);
  AddChange(image, "\\nothing.txt", false, false, false, false);
  AddFile(image, "\\new\\a.txt", "alpha");
  AddFile(image, "\\b.txt", "bravo!");
  AddFile(image, "\\nothing.txt", "never");
  AddFile(image, "\\orphan.txt", "no change record");
  AddFile(image, "\\new", "a folder's path");
  AddFile(image, "\\empty.txt", "");
  AddChange(image, "\\empty.txt", false, true, false, false);
  image.padding = 50;  // the file table is found through its offset alone
  ASSERT_TRUE(OpenToTables(Write(Encode(image))));

  PackageState& state = Package();
  EXPECT_EQ(state.ChangeList.size(), 8u);
  // b.txt changed, gone.txt, old and again removed.
  EXPECT_EQ(state.DeleteCount, 4u);
  EXPECT_EQ(state.NewFolderCount, 2u);
  EXPECT_EQ(CopyPaths(), (std::vector<std::string>{"\\new\\a.txt", "\\b.txt", "\\empty.txt"}));
  EXPECT_EQ(state.CopyTotal, 11u);
  EXPECT_EQ(state.DataAreaStart, kHeaderSize + state.header.FileTableOffset + 4 + 6 * kFileRecordSize);
  EXPECT_EQ(state.header.FileTableOffset, kChangeHeadSize + 8 * kChangeRecordSize + 50);
  EXPECT_EQ(ErrorLines(), 0u);
}

TEST_F(TablesTest, EmptyTables) {
  zampack::PackageImage noChanges = Image();
  AddFile(noChanges, "\\a.txt", "a");
  ASSERT_TRUE(OpenToTables(Write(Encode(noChanges))));
  EXPECT_TRUE(Package().ChangeList.empty());
  EXPECT_TRUE(Package().CopyList.empty());
  EXPECT_EQ(Package().DeleteCount + Package().NewFolderCount, 0u);

  zampack::PackageImage noFiles = Image();
  AddChange(noFiles, "\\a.txt", false, false, false, true);
  ASSERT_TRUE(OpenToTables(Write(Encode(noFiles))));
  EXPECT_EQ(Package().ChangeList.size(), 1u);
  EXPECT_TRUE(Package().CopyList.empty());
  EXPECT_EQ(Package().CopyTotal, 0u);
  EXPECT_EQ(Package().DataAreaStart, 472 + Package().header.FileTableOffset);
  // The empty file table is the package's last byte; nothing past it is mapped.
  EXPECT_EQ(Package().DataAreaStart, Package().packageSize);
}

TEST_F(TablesTest, TheFirstChangeRecordOfAPathDecidesWithoutRegardToCase) {
  zampack::PackageImage image = Image();
  AddChange(image, "\\Dir\\File.TXT", false, true, false, false);
  AddChange(image, "\\dir\\file.txt", false, false, false, true);
  AddChange(image, "\\Kept\\Other.bin", false, false, false, true);
  AddChange(image, "\\kept\\other.BIN", false, true, false, false);
  AddFile(image, "\\DIR\\file.txt", "written");
  AddFile(image, "\\kept\\other.bin", "not written");
  // Bytes above 127 are compared as they are.
  AddChange(image, "\\\xC4.txt", false, true, false, false);
  AddFile(image, "\\\xE4.txt", "a different name");
  ASSERT_TRUE(OpenToTables(Write(Encode(image))));
  EXPECT_EQ(CopyPaths(), (std::vector<std::string>{"\\DIR\\file.txt"}));
}

TEST_F(TablesTest, AbsoluteAndRelativeStreamOffsets) {
  zampack::PackageImage image = Image();
  AddChange(image, "\\rel.txt", false, true, false, false);
  AddChange(image, "\\abs.txt", false, true, false, false);
  AddFile(image, "\\rel.txt", std::string(100, 'r'));
  AddFile(image, "\\abs.txt", std::string(100, 'a'));
  image.files[1].record.IsAbsoluteOffset = 1;
  std::string bytes = Encode(image);
  ASSERT_TRUE(OpenToTables(Write(bytes)));
  ASSERT_EQ(Package().CopyList.size(), 2u);
  const FileRecord& rel = Package().CopyList[0];
  const FileRecord& abs = Package().CopyList[1];
  EXPECT_EQ(StreamPosition(rel, Package().DataAreaStart), Package().DataAreaStart);
  EXPECT_EQ(abs.Offset, Package().DataAreaStart + rel.StoredSize);
  EXPECT_EQ(StreamPosition(abs, Package().DataAreaStart), abs.Offset);
  // The last stream ends at the package's end: read relatively, the same
  // offset would lie outside it.
  EXPECT_EQ(abs.Offset + abs.StoredSize, bytes.size());
  Put32(bytes, FileAt(2, 1) + 276, 0);
  ASSERT_TRUE(LoadPatched(bytes));
  EXPECT_EQ(CopyPaths(), (std::vector<std::string>{"\\rel.txt"}));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: stream of \"\\abs.txt\""));
}

TEST_F(TablesTest, ViewsAlignToTheGranularity) {
  zampack::PackageImage image = Image();
  image.padding = 140000;
  std::string bytes = Encode(image);
  for (std::size_t i = kChangeListStart; i < bytes.size() - 4; ++i) bytes[i] = static_cast<char>(i * 13);
  std::string path = Write(bytes);
  ASSERT_TRUE(bOpenUpdateFile(path));
  ASSERT_TRUE(bCreateFileMappings(path));
  Package().allocationGranularity = 65536;
  struct Case {
    std::uint32_t position;
    std::uint32_t inner;
  };
  for (Case c : {Case{100, 100}, Case{65536, 65536}, Case{70000, 4464}, Case{140000, 8928}}) {
    FileView view;
    std::uint8_t* at = byGetFileMap(view, Package().mapping, platform::kFileMapRead, c.position, 16);
    ASSERT_NE(at, nullptr) << c.position;
    EXPECT_EQ(at - view.base(), static_cast<std::ptrdiff_t>(c.inner)) << c.position;
    EXPECT_EQ(view.length(), 16u + c.inner);
    EXPECT_EQ(std::memcmp(at, bytes.data() + c.position, 16), 0) << c.position;
  }
  FileView view;
  EXPECT_EQ(byGetFileMap(view, platform::Mapping(), platform::kFileMapRead, 0, 4), nullptr);
  // Past the end of the mapping.
  EXPECT_EQ(byGetFileMap(view, Package().mapping, platform::kFileMapRead, 70000, 0x7FFFFFFF), nullptr);
  EXPECT_FALSE(view.IsMapped());
}

TEST_F(TablesTest, AViewThatCannotBeMappedLoadsNothing) {
  zampack::PackageImage image = Image();
  AddChange(image, "\\a.txt", false, true, false, false);
  AddFile(image, "\\a.txt", "a");
  std::string path = Write(Encode(image));
  ASSERT_TRUE(bOpenUpdateFile(path) && bVerifyUpdateFile(path) && bCreateFileMappings(path));
  platform::ArmFault(platform::FaultOp::MapView, 1, platform::kErrorNotEnoughMemory);
  EXPECT_FALSE(bLoadPackageTables());
  EXPECT_TRUE(Package().ChangeList.empty());
  EXPECT_TRUE(Package().CopyList.empty());
  EXPECT_NE(Log().find("ERROR: bLoadPackageTables: byGetFileMap() failed with error 8 for the change list."),
            std::string::npos)
      << Log();
}

TEST_F(TablesTest, MalformedTablesLoadNothing) {
  zampack::PackageImage image = Image();
  AddChange(image, "\\a.txt", false, true, false, true);
  AddChange(image, "\\b.txt", false, false, false, true);
  AddFile(image, "\\a.txt", "alpha");
  std::string bytes = Encode(image);
  std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
  std::uint32_t tableOffset = ReadUint32(reinterpret_cast<const std::uint8_t*>(bytes.data()) + 48);

  std::uint32_t past = (size / kChangeRecordSize + 1) * kChangeRecordSize;
  struct Case {
    std::size_t at;
    std::uint32_t value;
    std::string line;
  };
  const Case cases[] = {
      {kHeaderSize, past, "ERROR: bLoadPackageTables: change list of " + std::to_string(past) + " bytes runs past"},
      {kHeaderSize, 0xFFFFFFF0, "ERROR: bLoadPackageTables: change list of 4294967280 bytes runs past the end"},
      {kHeaderSize, kChangeRecordSize + 1, "ERROR: bLoadPackageTables: change list of 277 bytes is not a whole"},
      {48, size, "ERROR: bLoadPackageTables: file table offset"},
      {48, 0xFFFFFFFF, "ERROR: bLoadPackageTables: file table offset 4294967295 lies outside"},
      {kHeaderSize + tableOffset, 2 * kFileRecordSize, "ERROR: bLoadPackageTables: file table of 560 bytes runs past"},
      {kHeaderSize + tableOffset, 0xFFFFFFFC, "ERROR: bLoadPackageTables: file table of 4294967292 bytes runs past"},
      {kHeaderSize + tableOffset, kFileRecordSize - 1, "ERROR: bLoadPackageTables: file table of 279 bytes is not"},
  };
  for (const Case& c : cases) {
    std::string patched = bytes;
    Put32(patched, c.at, c.value);
    EXPECT_FALSE(LoadPatched(patched)) << c.line;
    EXPECT_TRUE(LogHas(c.line)) << c.line << "\n" << Log();
    EXPECT_TRUE(Package().ChangeList.empty()) << c.line;
    EXPECT_TRUE(Package().CopyList.empty()) << c.line;
    EXPECT_EQ(Package().DeleteCount, 0u) << c.line;
  }
}

TEST_F(TablesTest, BadRecordsAreSkippedAndTheRestLoads) {
  zampack::PackageImage image = Image();
  const std::vector<std::string> refused = {
      "..\\evil.txt", "\\a\\..\\..\\evil.txt", "\\a\\..", "C:\\evil.txt", "\\\\server\\share\\evil.txt",
      "\\a/evil.txt", "\\...\\evil.txt", "\\.. \\evil.txt", "", "\\", "a:stream",
      // The root itself, however it is spelt.
      "\\.", ".", "\\sub\\..", "\\a\\.\\..\\..", "\\ . ", "\\ \\x.txt", "\\sub\\.\\x.txt"};
  // Devices, in any case, with an extension, trailing dots or blanks, as any component.
  const std::vector<std::string> devices = {"\\COM1", "\\con.txt", "\\sub\\NUL.", "\\LPT9.log", "\\aux .dat",
                                            "\\Prn\\x.txt", "\\com\xB9", "\\lpt0", "\\CONOUT$"};
  for (const std::string& path : devices) {
    AddChange(image, path, false, true, false, true);
    AddFile(image, path, "device");
  }
  for (const std::string& path : refused) {
    AddChange(image, path, false, true, false, true);
    AddFile(image, path, "bad");
  }
  AddChange(image, "\\ok\\a..b.txt", false, true, false, false);
  AddFile(image, "\\ok\\a..b.txt", "good");
  for (const char* near : {"\\ok\\console", "\\ok\\com10.txt", "\\ok\\lpt", "\\ok\\.profile", "\\ok\\nul-device"}) {
    AddChange(image, near, false, false, true, false);
  }
  AddChange(image, "\\unterminated", false, true, false, false);
  AddFile(image, "\\unterminated", "x");
  AddChange(image, std::string(255, 'n'), false, true, false, false);  // too long below the root
  AddChange(image, "\\far.txt", false, true, false, false);
  AddFile(image, "\\far.txt", "stream beyond the end");
  AddChange(image, "\\wrap.txt", false, true, false, false);
  AddFile(image, "\\wrap.txt", "offset that wraps in 32 bits");
  std::size_t changes = image.changes.size();
  std::size_t unterminatedChange = refused.size() + devices.size() + 6;
  std::size_t unterminated = refused.size() + devices.size() + 1;
  std::string bytes = Encode(image);
  std::memset(bytes.data() + ChangeAt(unterminatedChange), 'u', kPathSize);
  std::memset(bytes.data() + FileAt(changes, unterminated) + 4, 'u', kPathSize);
  std::size_t far = FileAt(changes, unterminated + 1);
  Put32(bytes, far + 268, 0x7FFFFFFF);  // StoredSize
  std::size_t wrap = FileAt(changes, unterminated + 2);
  Put32(bytes, wrap + 272, 0xFFFFFFF0);  // Offset, relative
  app::Run().LocationPaths[0] = "C:\\Data";

  ASSERT_TRUE(LoadPatched(bytes));
  EXPECT_EQ(ChangePaths(), (std::vector<std::string>{"\\ok\\a..b.txt", "\\ok\\console", "\\ok\\com10.txt",
                                                     "\\ok\\lpt", "\\ok\\.profile", "\\ok\\nul-device", "\\far.txt",
                                                     "\\wrap.txt"}));
  EXPECT_EQ(CopyPaths(), (std::vector<std::string>{"\\ok\\a..b.txt"}));
  EXPECT_EQ(Package().DeleteCount, 5u);
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: change record path \"\\.\" leaves the destination; skipped.\r\n"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: change record path \"\\sub\\NUL.\" names a device; skipped.\r\n"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: change record path \"..\\evil.txt\" leaves the destination; skipped.\r\n"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: change record " + std::to_string(unterminatedChange) +
                     " has no terminated path; skipped.\r\n"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: file record " + std::to_string(unterminated) +
                     " has no terminated path; skipped.\r\n"));
  EXPECT_TRUE(LogHas("is longer than 259 characters; skipped.\r\n"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: stream of \"\\far.txt\" (2147483647 bytes at"));
  EXPECT_TRUE(LogHas("ERROR: bLoadPackageTables: stream of \"\\wrap.txt\""));
  EXPECT_EQ(ErrorLines(), refused.size() + devices.size() + 5);
}

}  // namespace
