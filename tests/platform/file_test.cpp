// Files and folders with the device's semantics; the same tests run on the
// simulator and on Windows.
#include <algorithm>

#include "platform/fault.h"
#include "platform/file.h"
#include "tests/support/scratch.h"

using namespace platform;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

class FileTest : public testsupport::ScratchTest {};

File Open(const std::string& path, Dword access, Disposition disposition) {
  return OpenFile(path, access, kShareRead, disposition, kAttributeNormal);
}

std::vector<std::string> Names(const std::string& pattern) {
  std::vector<FolderEntry> entries;
  ListFolder(pattern, &entries);
  std::vector<std::string> names;
  for (const FolderEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

TEST_F(FileTest, WriteSeekReadAndCutAFile) {
  std::string path = PathOf("data.bin");
  File file = Open(path, kGenericRead | kGenericWrite, Disposition::CreateNew);
  ASSERT_TRUE(file.IsValid());
  Dword done = 0;
  ASSERT_TRUE(WriteToFile(file, "hello world", 11, &done));
  EXPECT_EQ(done, 11u);
  std::uint64_t size = 0;
  ASSERT_TRUE(FileSize(file, &size));
  EXPECT_EQ(size, 11u);

  std::uint64_t position = 0;
  ASSERT_TRUE(SeekFile(file, -5, SeekFrom::End, &position));
  EXPECT_EQ(position, 6u);
  char buffer[16] = {};
  ASSERT_TRUE(ReadFromFile(file, buffer, sizeof(buffer), &done));
  EXPECT_EQ(std::string(buffer, done), "world");
  // Reading at the end succeeds with nothing read.
  ASSERT_TRUE(ReadFromFile(file, buffer, sizeof(buffer), &done));
  EXPECT_EQ(done, 0u);

  ASSERT_TRUE(SeekFile(file, 5, SeekFrom::Begin, nullptr));
  ASSERT_TRUE(SetFileEnd(file));
  EXPECT_FALSE(SeekFile(file, -1, SeekFrom::Begin, nullptr));
  EXPECT_EQ(LastError(), kErrorNegativeSeek);
  // A failed seek leaves the position where it was; an append leaves it
  // behind what it wrote.
  ASSERT_TRUE(SeekFile(file, 1, SeekFrom::Begin, nullptr));
  EXPECT_FALSE(SeekFile(file, -6, SeekFrom::End, nullptr));
  EXPECT_EQ(LastError(), kErrorNegativeSeek);
  ASSERT_TRUE(SeekFile(file, 1, SeekFrom::Current, &position));
  EXPECT_EQ(position, 2u);
  ASSERT_TRUE(AppendToFile(file, "!!", 2, &done));
  ASSERT_TRUE(SeekFile(file, 0, SeekFrom::Current, &position));
  EXPECT_EQ(position, 7u);
  file.Close();
  EXPECT_FALSE(file.IsValid());
  EXPECT_EQ(ReadBytes(path), "hello!!");
}

TEST_F(FileTest, DispositionsAndTheirErrors) {
  std::string path = PathOf("d.txt");
  EXPECT_FALSE(Open(path, kGenericRead, Disposition::OpenExisting).IsValid());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(Open(PathOf("missing\\d.txt"), kGenericWrite, Disposition::CreateAlways).IsValid());
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  {
    File created = Open(path, kGenericWrite, Disposition::OpenAlways);
    ASSERT_TRUE(created.IsValid());
    EXPECT_EQ(LastError(), kErrorSuccess);
  }
  ASSERT_TRUE(WriteBytes(path, "old content"));
  {
    File opened = Open(path, kGenericWrite, Disposition::OpenAlways);
    ASSERT_TRUE(opened.IsValid());
    EXPECT_EQ(LastError(), kErrorAlreadyExists);
  }
  EXPECT_EQ(ReadBytes(path), "old content");

  EXPECT_FALSE(Open(path, kGenericWrite, Disposition::CreateNew).IsValid());
  EXPECT_EQ(LastError(), kErrorFileExists);

  {
    File recreated = Open(path, kGenericWrite, Disposition::CreateAlways);
    ASSERT_TRUE(recreated.IsValid());
    EXPECT_EQ(LastError(), kErrorAlreadyExists);
  }
  EXPECT_EQ(ReadBytes(path), "");

  ASSERT_TRUE(WriteBytes(path, "again"));
  { EXPECT_TRUE(Open(path, kGenericWrite, Disposition::TruncateExisting).IsValid()); }
  EXPECT_EQ(ReadBytes(path), "");
}

// An open that only reads asks the file system nothing before the open itself.
TEST_F(FileTest, OpeningToReadRefusesAFolderAndTellsAMissingFileFromAMissingFolder) {
  EXPECT_FALSE(Open(Dir(), kGenericRead, Disposition::OpenExisting).IsValid());
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_FALSE(Open(PathOf("none.txt"), kGenericRead, Disposition::OpenExisting).IsValid());
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(Open(PathOf("none\\a.txt"), kGenericRead, Disposition::OpenExisting).IsValid());
  EXPECT_EQ(LastError(), kErrorPathNotFound);
  ASSERT_TRUE(WriteBytes(PathOf("short.txt"), "seven b"));
  File file = Open(PathOf("SHORT.TXT"), kGenericRead, Disposition::OpenExisting);
  ASSERT_TRUE(file.IsValid());
  char buffer[64] = {};
  Dword done = 99;
  ASSERT_TRUE(ReadFromFile(file, buffer, sizeof(buffer), &done));
  EXPECT_EQ(std::string(buffer, done), "seven b");
  ASSERT_TRUE(ReadFromFile(file, buffer, sizeof(buffer), &done));
  EXPECT_EQ(done, 0u) << "at the end a read gives nothing and succeeds";
}

TEST_F(FileTest, AHandleDoesOnlyWhatItsAccessAllows) {
  std::string path = PathOf("a.txt");
  ASSERT_TRUE(WriteBytes(path, "abc"));
  Dword done = 0;
  char buffer[4];
  File reader = Open(path, kGenericRead, Disposition::OpenExisting);
  EXPECT_FALSE(WriteToFile(reader, "x", 1, &done));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  File writer = OpenFile(path, kGenericWrite, kShareRead, Disposition::OpenExisting, kAttributeNormal);
  EXPECT_FALSE(writer.IsValid()) << "the reader does not share write";
  reader.Close();
  writer = OpenFile(path, kGenericWrite, kShareNone, Disposition::OpenExisting, kAttributeNormal);
  ASSERT_TRUE(writer.IsValid());
  EXPECT_FALSE(ReadFromFile(writer, buffer, sizeof(buffer), &done));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
}

// Wine keeps the archive bit on every file, where Windows replaces all of them.
TEST_F(FileTest, AttributesReadBackAsSet_WineKeepsArchive) {
  Dword archive = testsupport::UnderWine() ? kAttributeArchive : 0;
  std::string path = PathOf("attr.txt");
  ASSERT_TRUE(WriteBytes(path, "keep"));
  EXPECT_EQ(FileAttributes(path), kAttributeArchive);
  EXPECT_EQ(FileAttributes(Dir()) & kAttributeDirectory, kAttributeDirectory);
  EXPECT_EQ(FileAttributes(PathOf("none.txt")), kInvalidAttributes);
  EXPECT_EQ(LastError(), kErrorFileNotFound);

  ASSERT_TRUE(SetAttributes(path, kAttributeReadOnly | kAttributeHidden));
  EXPECT_EQ(FileAttributes(path), kAttributeReadOnly | kAttributeHidden | archive);
  ASSERT_TRUE(SetAttributes(path, kAttributeNormal));
  EXPECT_EQ(FileAttributes(path), archive ? archive : kAttributeNormal);

  // A file created read-only is read-only once closed, and writable through its handle.
  std::string created = PathOf("new-ro.txt");
  {
    File file = OpenFile(created, kGenericWrite, kShareNone, Disposition::CreateNew, kAttributeReadOnly);
    ASSERT_TRUE(file.IsValid());
    Dword done = 0;
    EXPECT_TRUE(WriteToFile(file, "x", 1, &done));
  }
  EXPECT_EQ(FileAttributes(created), kAttributeReadOnly | kAttributeArchive);
  EXPECT_EQ(ReadBytes(created), "x");
}

// Wine running as root opens a read-only file for writing: the host grants root every open.
TEST_F(FileTest, ReadOnlyFilesRefuseDeleteAndWriting_WineAsRootOpensForWrite) {
  std::string path = PathOf("ro.txt");
  ASSERT_TRUE(WriteBytes(path, "keep"));
  ASSERT_TRUE(SetAttributes(path, kAttributeReadOnly));
  if (!testsupport::UnderWine()) {
    EXPECT_FALSE(Open(path, kGenericWrite, Disposition::OpenExisting).IsValid());
    EXPECT_EQ(LastError(), kErrorAccessDenied);
    EXPECT_FALSE(Open(path, kGenericWrite, Disposition::CreateAlways).IsValid());
    EXPECT_EQ(LastError(), kErrorAccessDenied);
  }
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_EQ(ReadBytes(path), "keep");

  ASSERT_TRUE(SetAttributes(path, kAttributeNormal));
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(RemoveFile(path));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
}

TEST_F(FileTest, FoldersAreMadeListedAndRemoved) {
  std::string sub = PathOf("Sub");
  ASSERT_TRUE(MakeFolder(sub));
  EXPECT_FALSE(MakeFolder(sub));
  EXPECT_EQ(LastError(), kErrorAlreadyExists);
  EXPECT_FALSE(MakeFolder(PathOf("no\\such")));
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  ASSERT_TRUE(WriteBytes(sub + "\\a.txt", "1"));
  ASSERT_TRUE(WriteBytes(sub + "\\B.TXT", "22"));
  ASSERT_TRUE(WriteBytes(sub + "\\c.dat", "333"));
  ASSERT_TRUE(MakeFolder(sub + "\\inner"));
  EXPECT_EQ(Names(sub + "\\*"), (std::vector<std::string>{"B.TXT", "a.txt", "c.dat", "inner"}));
  EXPECT_EQ(Names(sub + "\\*.*"), (std::vector<std::string>{"B.TXT", "a.txt", "c.dat", "inner"}));
  EXPECT_EQ(Names(sub + "\\*.txt"), (std::vector<std::string>{"B.TXT", "a.txt"}));
  EXPECT_EQ(Names(sub + "\\?.dat"), (std::vector<std::string>{"c.dat"}));

  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(sub + "\\c.dat", &entries));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].size, 3u);
  ASSERT_TRUE(ListFolder(sub + "\\inner", &entries));
  EXPECT_TRUE(entries[0].attributes & kAttributeDirectory);
  EXPECT_FALSE(ListFolder(sub + "\\*.exe", &entries));
  EXPECT_EQ(LastError(), kErrorFileNotFound);
  EXPECT_FALSE(ListFolder(PathOf("gone\\*"), &entries));
  EXPECT_EQ(LastError(), kErrorPathNotFound);

  EXPECT_FALSE(RemoveFolder(sub));
  EXPECT_EQ(LastError(), kErrorDirNotEmpty);
  EXPECT_FALSE(RemoveFile(sub + "\\inner"));
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_TRUE(RemoveFolder(sub + "\\inner"));
  for (const char* name : {"a.txt", "B.TXT", "c.dat"}) EXPECT_TRUE(RemoveFile(sub + "\\" + name));
  EXPECT_TRUE(RemoveFolder(sub));
  EXPECT_EQ(FileAttributes(sub), kInvalidAttributes);
}

TEST_F(FileTest, NamesAreFoundWithoutRegardToCaseAndKeepTheirCase) {
  ASSERT_TRUE(MakeFolder(PathOf("MixedCase")));
  ASSERT_TRUE(WriteBytes(PathOf("MixedCase\\ReadMe.TXT"), "found"));
  EXPECT_EQ(ReadBytes(PathOf("mixedcase\\README.txt")), "found");
  ASSERT_TRUE(WriteBytes(PathOf("MIXEDCASE\\readme.txt"), "replaced"));
  EXPECT_EQ(Names(PathOf("mixedcase\\*")), (std::vector<std::string>{"ReadMe.TXT"}));
  EXPECT_EQ(ReadBytes(PathOf("MixedCase\\ReadMe.TXT")), "replaced");
}

TEST_F(FileTest, FullPathResolvesAgainstTheWorkingDirectory) {
  ASSERT_TRUE(MakeFolder(PathOf("work")));
  testsupport::ChangeDirectory(PathOf("work"));
  std::string full;
  ASSERT_TRUE(FullPath("..\\update_log.txt", &full));
  EXPECT_EQ(full, PathOf("update_log.txt"));
  ASSERT_TRUE(FullPath("a\\.\\b\\..\\c.txt", &full));
  EXPECT_EQ(full, PathOf("work\\a\\c.txt"));
  ASSERT_TRUE(FullPath("a/b", &full));
  EXPECT_EQ(full, PathOf("work\\a\\b"));
}

TEST_F(FileTest, TheFaultSeamFailsTheArmedCallsOnly) {
  std::string path = PathOf("f.txt");
  ArmFault(FaultOp::OpenFile, 2, kErrorDiskFull);
  EXPECT_FALSE(Open(path, kGenericWrite, Disposition::CreateAlways).IsValid());
  EXPECT_EQ(LastError(), kErrorDiskFull);
  EXPECT_FALSE(Open(path, kGenericWrite, Disposition::CreateAlways).IsValid());
  EXPECT_TRUE(Open(path, kGenericWrite, Disposition::CreateAlways).IsValid());

  File file = Open(path, kGenericWrite, Disposition::CreateAlways);
  ArmFault(FaultOp::WriteFile, -1, kErrorDiskFull);
  Dword done = 7;
  EXPECT_FALSE(WriteToFile(file, "x", 1, &done));
  EXPECT_EQ(done, 0u);
  EXPECT_FALSE(WriteToFile(file, "x", 1, &done));
  ClearFaults();
  EXPECT_TRUE(WriteToFile(file, "x", 1, &done));
}

}  // namespace
