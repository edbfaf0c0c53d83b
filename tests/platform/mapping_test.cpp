// Mapped files and locked buffers with the device's rules; the same tests run
// on the simulator and on Windows.
#include <cstring>

#include "platform/fault.h"
#include "platform/file.h"
#include "platform/mapping.h"
#include "tests/support/scratch.h"

using namespace platform;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

namespace {

class MappingTest : public testsupport::ScratchTest {
 protected:
  void TearDown() override {
    ClearFaults();
    ScratchTest::TearDown();
  }
};

// Two granularity units and a bit, each byte telling its position.
std::string Pattern(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

File OpenRead(const std::string& path) {
  return OpenFile(path, kGenericRead, kShareRead, Disposition::OpenExisting, kAttributeNormal);
}

TEST_F(MappingTest, ReadOnlyViewsAtAlignedPositionsWithinTheMapping) {
  Dword unit = AllocationGranularity();
  std::string bytes = Pattern(2 * unit + 100);
  ASSERT_TRUE(WriteBytes(PathOf("p.bin"), bytes));
  File file = OpenRead(PathOf("p.bin"));
  Mapping mapping = CreateMapping(file, kPageReadOnly, bytes.size());
  ASSERT_TRUE(mapping.IsValid());
  // The mapping outlives the handle it was made from.
  file.Close();

  View whole = MapView(mapping, kFileMapRead, 0, 0);
  ASSERT_TRUE(whole.IsMapped());
  EXPECT_EQ(whole.length(), bytes.size());
  EXPECT_EQ(std::memcmp(whole.base(), bytes.data(), bytes.size()), 0);

  View tail = MapView(mapping, kFileMapRead, 2 * static_cast<std::uint64_t>(unit), 100);
  ASSERT_TRUE(tail.IsMapped());
  EXPECT_EQ(std::memcmp(tail.base(), bytes.data() + 2 * unit, 100), 0);

  EXPECT_FALSE(MapView(mapping, kFileMapRead, 100, 10).IsMapped());
  EXPECT_EQ(LastError(), kErrorMappedAlignment);
  EXPECT_FALSE(MapView(mapping, kFileMapRead, unit, 2 * unit).IsMapped());
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_FALSE(MapView(mapping, kFileMapWrite, 0, 10).IsMapped());
  EXPECT_EQ(LastError(), kErrorAccessDenied);

  whole.Unmap();
  EXPECT_FALSE(whole.IsMapped());
}

TEST_F(MappingTest, ReadOnlyMappingMustFitTheFile) {
  ASSERT_TRUE(WriteBytes(PathOf("small.bin"), "abc"));
  ASSERT_TRUE(WriteBytes(PathOf("empty.bin"), ""));
  File small = OpenRead(PathOf("small.bin"));
  EXPECT_FALSE(CreateMapping(small, kPageReadOnly, 4).IsValid());
  EXPECT_FALSE(CreateMapping(small, kPageReadWrite, 3).IsValid());
  EXPECT_EQ(LastError(), kErrorAccessDenied);
  EXPECT_EQ(ReadBytes(PathOf("small.bin")), "abc");

  File empty = OpenRead(PathOf("empty.bin"));
  EXPECT_FALSE(CreateMapping(empty, kPageReadOnly, 0).IsValid());
  EXPECT_EQ(LastError(), kErrorFileInvalid);
}

TEST_F(MappingTest, ReadWriteMappingSetsTheLengthAndWritesThrough) {
  File file = OpenFile(PathOf("out.bin"), kGenericRead | kGenericWrite, kShareNone, Disposition::CreateNew,
                       kAttributeNormal);
  ASSERT_TRUE(file.IsValid());
  EXPECT_FALSE(CreateMapping(file, kPageReadWrite, 0).IsValid());
  EXPECT_EQ(LastError(), kErrorFileInvalid);
  Mapping mapping = CreateMapping(file, kPageReadWrite, 5000);
  ASSERT_TRUE(mapping.IsValid());
  std::uint64_t size = 0;
  ASSERT_TRUE(FileSize(file, &size));
  EXPECT_EQ(size, 5000u);
  {
    View view = MapView(mapping, kFileMapWrite, 0, 0);
    ASSERT_TRUE(view.IsMapped());
    std::memset(view.base(), 'x', 5000);
    std::memcpy(view.base() + 4995, "tail!", 5);
  }
  mapping.Close();
  file.Close();
  std::string written = ReadBytes(PathOf("out.bin"));
  ASSERT_EQ(written.size(), 5000u);
  EXPECT_EQ(written.substr(4990), "xxxxxtail!");

  // Emptied by the open, then written through the handle: mapped at the length written.
  file = OpenFile(PathOf("out.bin"), kGenericRead | kGenericWrite, kShareNone, Disposition::CreateAlways,
                  kAttributeNormal);
  EXPECT_FALSE(CreateMapping(file, kPageReadWrite, 0).IsValid());
  EXPECT_EQ(LastError(), kErrorFileInvalid);
  Dword done = 0;
  ASSERT_TRUE(WriteToFile(file, "abc", 3, &done));
  EXPECT_EQ(CreateMapping(file, kPageReadWrite, 0).size(), 3u);
}

TEST_F(MappingTest, FaultsArmedOnMappingsAndViews) {
  ASSERT_TRUE(WriteBytes(PathOf("p.bin"), "abcdef"));
  File file = OpenRead(PathOf("p.bin"));
  ArmFault(FaultOp::CreateMapping, 1, kErrorNotEnoughMemory);
  EXPECT_FALSE(CreateMapping(file, kPageReadOnly, 0).IsValid());
  EXPECT_EQ(LastError(), kErrorNotEnoughMemory);
  Mapping mapping = CreateMapping(file, kPageReadOnly, 0);
  ASSERT_TRUE(mapping.IsValid());
  EXPECT_EQ(mapping.size(), 6u);
  ArmFault(FaultOp::MapView, 1, kErrorNotEnoughMemory);
  EXPECT_FALSE(MapView(mapping, kFileMapRead, 0, 6).IsMapped());
  EXPECT_EQ(LastError(), kErrorNotEnoughMemory);
  View view = MapView(mapping, kFileMapRead, 0, 6);
  ASSERT_TRUE(view.IsMapped());
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(view.base()), 6), "abcdef");
}

TEST_F(MappingTest, LockedBufferIsWholeAlignedPages) {
  LockedBuffer buffer = AllocateLockedBuffer(100);
  ASSERT_TRUE(buffer.IsValid());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 4096, 0u);
  EXPECT_GE(buffer.size(), 4096u);
  EXPECT_EQ(buffer.size() % 4096, 0u);
  std::memset(buffer.data(), 0xA5, buffer.size());
  EXPECT_EQ(buffer.data()[buffer.size() - 1], 0xA5);

  ArmFault(FaultOp::AllocateLockedBuffer, 1, kErrorNotEnoughMemory);
  EXPECT_FALSE(AllocateLockedBuffer(4096).IsValid());
  EXPECT_EQ(LastError(), kErrorNotEnoughMemory);
}

}  // namespace
