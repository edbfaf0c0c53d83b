// Opening a package: the header checks, the destination it selects, and the
// checksum over its body.
#include <cstring>

#include "app/progress_window.h"
#include "platform/text.h"
#include "platform/window.h"
#include "tests/package/package_fixture.h"

using namespace package;
using packagetest::PackageTest;

namespace {

class OpenTest : public PackageTest {};

TEST_F(OpenTest, HeaderChecksDecideWhetherAPackageOpens) {
  std::string good = Encode(Image(17));
  // The identifier's four units after its NUL are free.
  good.replace(32, 8, "\x01\x02\xFF\xFF\x41\x00\x42\x00", 8);
  EXPECT_TRUE(bOpenUpdateFile(Write(good)));
  EXPECT_EQ(Package().header.PackageType, 17u);
  EXPECT_EQ(Package().changeHead.ChangeListLength, 0u);
  EXPECT_EQ(Package().packageSize, good.size());

  std::string appIndex = good;
  Put32(appIndex, 40, 1);
  EXPECT_FALSE(bOpenUpdateFile(Write(appIndex)));
  // The refused header stays in memory, and the handle is closed.
  EXPECT_EQ(Package().header.AppIndex, 1u);
  EXPECT_FALSE(Package().file.IsValid());
  EXPECT_TRUE(platform::RemoveFile(PathOf("p.zam")));

  std::string type18 = good;
  Put32(type18, 44, 18);
  EXPECT_FALSE(bOpenUpdateFile(Write(type18)));
  std::string identifier = good;
  identifier[2] = 'B';  // "ZBM_..."
  EXPECT_FALSE(bOpenUpdateFile(Write(identifier)));
  std::string noNul = good;
  noNul[30] = 'X';  // the 16th unit is no longer NUL
  EXPECT_FALSE(bOpenUpdateFile(Write(noNul)));
  EXPECT_FALSE(bOpenUpdateFile(Write(good.substr(0, 467))));
  EXPECT_FALSE(bOpenUpdateFile(PathOf("missing.zam")));
  EXPECT_EQ(Log(), "");
}

TEST_F(OpenTest, APackageTooShortForItsChangeListHeadIsRefused) {
  std::string bytes = Encode(Image());
  std::string shortBody = bytes.substr(0, 600);
  Reseal(shortBody);
  EXPECT_FALSE(bOpenUpdateFile(Write(shortBody)));
  EXPECT_FALSE(Package().file.IsValid());
  EXPECT_NE(Log().find("ERROR: bOpenUpdateFile: package of 600 bytes is too short for its change-list head.\r\n"),
            std::string::npos)
      << Log();
  EXPECT_TRUE(bOpenUpdateFile(Write(bytes.substr(0, 672))));
}

TEST_F(OpenTest, DestinationRootFromTypeNameAndLocation) {
  auto rootOf = [this](std::uint32_t type, const std::u16string& name) {
    EXPECT_TRUE(bOpenUpdateFile(Write(Encode(Image(type, name)))));
    return Package().DestinationRoot;
  };
  app::Run().LocationPaths[version::MAP] = "C:\\Maps";
  app::Run().LocationPaths[version::SOFTWARE] = "C:\\Program Files\\Orvanta\\";
  EXPECT_EQ(rootOf(version::MAP, u"Europe"), "C:\\Maps\\Europe\\");
  EXPECT_EQ(rootOf(version::SOFTWARE, u"Main"), "C:\\Program Files\\Orvanta\\");
  EXPECT_EQ(rootOf(version::VOICE, u"X"), "\\X\\");
  EXPECT_EQ(rootOf(version::PLATFORM, u"X"), "\\");
  // A name that has no 8-bit form leaves the files in the location itself.
  EXPECT_EQ(rootOf(version::MAP, u"Europe\u0100"), "C:\\Maps\\");
  EXPECT_EQ(rootOf(version::MAP, u""), "C:\\Maps\\");

  Package().DestinationRoot = "C:\\Data\\";
  DestinationPath nested = BuildDestinationPath("\\a\\b.txt");
  EXPECT_EQ(nested.fullPath, "C:\\Data\\a\\b.txt");
  EXPECT_EQ(nested.leafName, "b.txt");
  DestinationPath flat = BuildDestinationPath("a.txt");
  EXPECT_EQ(flat.fullPath, "C:\\Data\\a.txt");
  EXPECT_EQ(flat.leafName, "a.txt");

  std::string text;
  EnsureTrailingBackslash(text);
  EXPECT_EQ(text, "\\");
  text = "C:\\x";
  EnsureTrailingBackslash(text);
  EnsureTrailingBackslash(text);
  EXPECT_EQ(text, "C:\\x\\");
}

TEST_F(OpenTest, APackageNameThatClimbsOutOfTheLocationIsRefused) {
  app::Run().LocationPaths[version::MAP] = "C:\\Maps";
  for (const char16_t* name : {u"..\\..\\Windows", u"C:\\Windows", u"a/../..", u"\\\\server\\share"}) {
    EXPECT_FALSE(bOpenUpdateFile(Write(Encode(Image(version::MAP, name))))) << platform::WideToNarrow(name);
  }
  EXPECT_NE(Log().find("ERROR: bOpenUpdateFile: package name \"..\\..\\Windows\" leaves the location path.\r\n"),
            std::string::npos);
  EXPECT_TRUE(bOpenUpdateFile(Write(Encode(Image(version::MAP, u"Europe\\West")))));
  // Types whose name is no folder ignore it.
  EXPECT_TRUE(bOpenUpdateFile(Write(Encode(Image(version::SOFTWARE, u"..\\..")))));
}

class VerifyTest : public PackageTest {
 protected:
  // A package with no records whose body is exactly `bodySize` bytes.
  std::string WithBody(std::uint32_t bodySize) {
    zampack::PackageImage image = Image();
    image.padding = bodySize - kChangeHeadSize - 4;
    std::string bytes = Encode(image);
    EXPECT_EQ(bytes.size(), kHeaderSize + bodySize);
    return bytes;
  }
  bool Verify(const std::string& bytes) {
    std::string path = Write(bytes);
    if (!bOpenUpdateFile(path)) return false;
    bool ok = bVerifyUpdateFile(path);
    EXPECT_FALSE(Package().file.IsValid());
    return ok;
  }
};

TEST_F(VerifyTest, BodiesAroundTheReadSizeAndChangedBytes) {
  for (std::uint32_t size : {262144u, 262145u, 1000u}) {
    std::string bytes = WithBody(size);
    EXPECT_TRUE(Verify(bytes)) << size;
    // The last byte is read (by the second read at 262,145), so changing it fails.
    std::string last = bytes;
    last.back() ^= 1;
    EXPECT_FALSE(Verify(last)) << size;
    std::string first = bytes;
    first[kHeaderSize] ^= 1;
    EXPECT_FALSE(Verify(first)) << size;
    // The header is not covered.
    std::string texts = bytes;
    texts[68] = 'Q';
    texts[268] = 'R';
    EXPECT_TRUE(Verify(texts)) << size;
  }
  std::string expected = "ERROR: Checksum didn't match for \"" + PathOf("p.zam") + "\".\r\n";
  EXPECT_NE(Log().find(expected), std::string::npos) << Log();
}

TEST_F(VerifyTest, AnEmptyBodyIsTheDigestOfNothing) {
  // bOpenUpdateFile refuses so short a package; verification on its own
  // still reads once and gets the empty digest.
  std::string bytes = Encode(Image()).substr(0, kHeaderSize);
  const std::uint8_t empty[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04,
                                  0xe9, 0x80, 0x09, 0x98, 0xec, 0xf8, 0x42, 0x7e};
  PackageState& state = Package();
  std::memcpy(state.header.Checksum, empty, 16);
  state.file = platform::OpenFile(Write(bytes), platform::kGenericRead, platform::kShareRead,
                                  platform::Disposition::OpenExisting, 0);
  ASSERT_TRUE(platform::SeekFile(state.file, kHeaderSize, platform::SeekFrom::Begin, nullptr));
  state.packageSize = kHeaderSize;
  state.bodyStart = kHeaderSize;
  EXPECT_TRUE(bVerifyUpdateFile(PathOf("p.zam")));
  EXPECT_FALSE(state.file.IsValid());
}

TEST_F(VerifyTest, ProgressCountsTheBytesReadAndAFailedReadEndsTheBody) {
  ASSERT_TRUE(app::InitApp(1));
  std::string bytes = WithBody(262144 + 100);
  std::string path = Write(bytes);
  ASSERT_TRUE(bOpenUpdateFile(path));
  // Claimed four reads' worth, the file ends in the second: the percentage
  // moved with each read, and the digest covers what was actually read.
  Package().packageSize = kHeaderSize + 4 * 262144;
  app::ShowStage(10, true);
  EXPECT_TRUE(bVerifyUpdateFile(path));
  std::u16string text = platform::WindowText(app::Run().window.textControl);
  EXPECT_EQ(text.substr(text.size() - 33), u"Verifying Update Information  25%");

  // A read that fails counts as the end of the body.
  ASSERT_TRUE(bOpenUpdateFile(path));
  platform::ArmFault(platform::FaultOp::ReadFile, 1, platform::kErrorReadFault);
  EXPECT_FALSE(bVerifyUpdateFile(path));
  EXPECT_FALSE(Package().file.IsValid());
}

}  // namespace
