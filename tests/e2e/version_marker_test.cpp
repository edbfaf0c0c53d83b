// The repair of the Spanish version file's pre-release marker at the end of a
// run, with the update tool of this backend.
#include "tests/e2e/e2e_fixture.h"

namespace {

using testsupport::Utf16Le;

const std::string kBom = "\xFF\xFE";

class VersionMarkerTest : public e2e::E2eTest {
 protected:
  std::string SpanishFile() { return PathOf("Device\\Languages\\es\\Version.xml"); }

  void ExpectQuietRun() {
    EXPECT_TRUE(LogHas("Main update process finished (and window destroyed). 0 installers to run.")) << Log();
    EXPECT_TRUE(LogHas("End updater execution.")) << Log();
    EXPECT_EQ(Log().find("ERROR"), std::string::npos) << Log();
    EXPECT_EQ(Log().find("PreRelease"), std::string::npos) << Log();
  }
};

TEST_F(VersionMarkerTest, AVersionFileDeliveredInTheRunGetsItsClosingTagAndKeepsItsOddByte) {
  const std::u16string head = u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<VersionInfo>\n\t<VersionData>\n"
                              u"\t\t<PreRelease>1";
  const std::u16string tail = u"\n\t</VersionData>\n</VersionInfo>\n";
  std::string delivered = kBom + Utf16Le(head + u"<PreRelease/>" + tail) + "\n";
  // Spanish is installed; the package brings its new version file.
  ASSERT_TRUE(platform::MakeFolder(PathOf("Device\\Languages\\es")));
  ASSERT_TRUE(testsupport::WriteBytes(SpanishFile(), kBom + Utf16Le(head + u"</PreRelease>" + tail)));
  MakeTree("Spanish", {{"Version.xml", delivered}, {"strings.xml", "<Strings lang=\"es\"/>"}});
  Zampack("build", "LANGUAGE_PACKAGE", "es", {"Spanish"}, "spanish.zam");
  WriteDescriptor("false", {"spanish.zam"});
  ASSERT_EQ(RunTool("00001A2C es"), 0) << Log();

  std::string repaired = testsupport::ReadBytes(SpanishFile());
  EXPECT_EQ(repaired, kBom + Utf16Le(head + u"</PreRelease>" + tail) + "\n");
  EXPECT_EQ(repaired.size(), delivered.size());
  EXPECT_EQ(testsupport::ReadBytes(PathOf("Device\\Languages\\es\\strings.xml")), "<Strings lang=\"es\"/>");
  EXPECT_TRUE(Pending().empty());
  ExpectQuietRun();
}

TEST_F(VersionMarkerTest, AWellFormedFileWithAnEmptyPreReleaseIsLeftUntouchedByARunWithoutPackages) {
  ASSERT_TRUE(platform::MakeFolder(PathOf("Device\\Languages\\es")));
  // As another tool pretty-prints an empty element: on a line of its own.
  std::string file = kBom + Utf16Le(u"<?xml version=\"1.0\" encoding=\"utf-16\"?>\n<VersionInfo>\n\t<VersionData>\n"
                                    u"\t\t<Date>2014-07-07</Date>\n\t\t<PreRelease/>\n\t</VersionData>\n</VersionInfo>\n");
  ASSERT_TRUE(testsupport::WriteBytes(SpanishFile(), file));
  WriteDescriptor("false", {});
  ASSERT_EQ(RunTool("00001A2C es"), 0) << Log();
  EXPECT_EQ(testsupport::ReadBytes(SpanishFile()), file);
  ExpectQuietRun();
}

TEST_F(VersionMarkerTest, WithoutTheFileNothingIsMadeOrReported) {
  WriteDescriptor("false", {});
  ASSERT_EQ(RunTool("00001A2C es"), 0) << Log();
  EXPECT_FALSE(testsupport::Exists(PathOf("Device\\Languages\\es")));
  EXPECT_FALSE(testsupport::Exists(SpanishFile()));
  ExpectQuietRun();
}

}  // namespace
