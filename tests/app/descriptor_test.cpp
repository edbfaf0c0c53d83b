// The update descriptor: what the two readers make of descriptors as the
// device application and other tools write them, and of unusable ones.
#include <array>
#include <vector>

#include "app/descriptor.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "platform/file.h"
#include "tests/support/scratch.h"
#include "version/package_type.h"

using testsupport::WriteBytes;

namespace {

using Files = std::vector<std::string>;

class DescriptorTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    app::ResetRunState();
  }
  void Write(const std::string& bytes) { ASSERT_TRUE(WriteBytes(PathOf("UpdateInfo.xml"), bytes)); }
  void Load() { ASSERT_TRUE(app::bLoadUpdateInfo()); }
};

std::string Descriptor(const std::string& onDevice) {
  return "<UpdateInfo>" + onDevice +
         "<LocationInfo><MAP><Path>C:\\Maps</Path></MAP></LocationInfo>"
         "<UpdateList><File>C:\\a.zam</File></UpdateList></UpdateInfo>";
}

TEST_F(DescriptorTest, OnlyExactlyTrueMeansOnTheDevice) {
  const std::pair<std::string, bool> cases[] = {
      {"<IsTargetHardware>true</IsTargetHardware>", true},
      {"<IsTargetHardware><![CDATA[true]]></IsTargetHardware>", true},
      {"<IsTargetHardware>True</IsTargetHardware>", false},
      {"<IsTargetHardware>TRUE</IsTargetHardware>", false},
      {"<IsTargetHardware> true</IsTargetHardware>", false},
      {"<IsTargetHardware>true </IsTargetHardware>", false},
      {"<IsTargetHardware/>", false},
      {"<isTargetHardware>true</isTargetHardware>", false},
      {"", false},
  };
  for (const auto& [element, onDevice] : cases) {
    app::ResetRunState();
    Write(Descriptor(element));
    EXPECT_EQ(app::ReadIsTargetHardware(), !onDevice) << element;
    EXPECT_FALSE(app::Run().bOnDevice) << element;
    EXPECT_TRUE(app::Run().UpdateFiles.empty()) << element;
    Load();
    EXPECT_EQ(app::Run().bOnDevice, onDevice) << element;
  }
}

TEST_F(DescriptorTest, AnUnusableDescriptorIsAnEmptyOne) {
  std::string good = Descriptor("<IsTargetHardware>true</IsTargetHardware>");
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary += static_cast<char>((i * 7919 + i / 256) & 0xFF);
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"cut short", good.substr(0, good.size() / 2)},
      {"binary", binary},
      {"binary after a good start", good.substr(0, 40) + binary},
      {"other root", "<Update><IsTargetHardware>true</IsTargetHardware></Update>"},
      {"not at the root", "<Media>" + good + "</Media>"},
  };
  auto expectUntouched = [](const char* name) {
    EXPECT_FALSE(app::ReadIsTargetHardware()) << name;
    ASSERT_TRUE(app::bLoadUpdateInfo());
    EXPECT_FALSE(app::Run().bOnDevice) << name;
    EXPECT_EQ(app::Run().LocationPaths[version::MAP], "kept") << name;
    EXPECT_EQ(app::Run().UpdateFiles, Files{"kept"}) << name;
  };
  app::Run().LocationPaths[version::MAP] = "kept";
  app::Run().UpdateFiles = {"kept"};
  expectUntouched("no file");
  for (const auto& [name, bytes] : cases) {
    Write(bytes);
    expectUntouched(name);
  }

  Write(good);
  platform::File writer = platform::OpenFile(PathOf("UpdateInfo.xml"), platform::kGenericWrite, platform::kShareNone,
                                             platform::Disposition::OpenExisting, platform::kAttributeNormal);
  ASSERT_TRUE(writer.IsValid());
  expectUntouched("held open without read sharing");
}

TEST_F(DescriptorTest, LocationsComeFromTheFirstElementOfEachTypeName) {
  app::Run().LocationPaths[version::HW_LIBRARY] = "kept";
  Write("<UpdateInfo><LocationInfo>"
        "<SOFTWARE><Path>C:\\Orvanta</Path><Path>C:\\Second path</Path></SOFTWARE>"
        "<SOFTWARE><Path>C:\\Second element</Path></SOFTWARE>"
        "<HW_LIBRARY><Folder>C:\\Lib</Folder></HW_LIBRARY>"
        "<icons><Path>C:\\Wrong case</Path></icons>"
        "<MAP><Path> C:\\Maps &amp; more </Path></MAP>"
        "<VOICE><Path><Sub/>C:\\Voices\\\xC3\xA9</Path></VOICE>"
        "<RECOVERY><Path>C:\\\xE4\xB8\xAD</Path></RECOVERY>"
        "<UNKNOWN><Path>C:\\Other</Path></UNKNOWN>"
        "</LocationInfo></UpdateInfo>");
  Load();
  std::array<std::string, version::kPackageTypeCount> expected;
  expected[version::SOFTWARE] = "C:\\Orvanta";
  expected[version::HW_LIBRARY] = "kept";
  expected[version::MAP] = " C:\\Maps & more ";
  expected[version::VOICE] = "C:\\Voices\\\xE9";
  expected[version::UNKNOWN] = "C:\\Other";
  EXPECT_EQ(app::Run().LocationPaths, expected);  // RECOVERY's path does not fit 8 bits
  EXPECT_FALSE(app::Run().bOnDevice);
}

TEST_F(DescriptorTest, EveryUpdateListChildIsAPackageInDocumentOrder) {
  Write("<UpdateInfo><UpdateList>stray text"
        "<File>C:\\a.zam</File><Package>b.zam</Package><File>C:\\a.zam</File>"
        "<File/><File><Sub>C:\\nested.zam</Sub></File>"
        "<X><![CDATA[C:\\c&d.zam]]></X><Y>C:\\e&amp;f.zam</Y>"
        "<Z>C:\\\xE4\xB8\xAD.zam</Z><W>C:\\\xC3\xA9.zam</W>"
        "</UpdateList><UpdateList><File>C:\\ignored.zam</File></UpdateList></UpdateInfo>");
  Load();
  // Text between the entries is a child node too, and gives an empty path.
  EXPECT_EQ(app::Run().UpdateFiles, (Files{"", "C:\\a.zam", "b.zam", "C:\\a.zam", "", "", "C:\\c&d.zam", "C:\\e&f.zam", "",
                                      "C:\\\xE9.zam"}));
}

// The descriptor as a Latin-1 text; each test below encodes it its own way.
const std::string kForeignDescriptor =
    "<!-- written by the media tool -->\r\n"
    "<UpdateInfo>\r\n"
    "  <IsTargetHardware>true</IsTargetHardware>\r\n"
    "  <LocationInfo>\r\n"
    "    <LANGUAGE_PACKAGE><Path><!-- languages -->C:\\Sprache\\\xE9t\xE9</Path></LANGUAGE_PACKAGE>\r\n"
    "  </LocationInfo>\r\n"
    "  <UpdateList>\r\n"
    "    <File>C:\\one.zam</File>\r\n"
    "    <!-- <File>C:\\commented.zam</File> -->\r\n"
    "    <File><!-- second -->C:\\two.zam</File>\r\n"
    "  </UpdateList>\r\n"
    "</UpdateInfo>\r\n";

std::string Utf8(const std::string& latin1) {
  std::string bytes;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return bytes;
}

std::string Utf16Le(const std::string& latin1) {
  std::string bytes;
  for (char c : latin1) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

TEST_F(DescriptorTest, DescriptorsWrittenByOtherToolsReadTheSame) {
  const std::pair<const char*, std::string> cases[] = {
      {"utf-8", Utf8(kForeignDescriptor)},
      {"utf-8 with mark", "\xEF\xBB\xBF" + Utf8("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + kForeignDescriptor)},
      {"latin-1 declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n" + kForeignDescriptor},
      {"utf-16le with mark",
       "\xFF\xFE" + Utf16Le("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n" + kForeignDescriptor)},
  };
  ASSERT_TRUE(platform::MakeFolder(PathOf("Media")));
  testsupport::ChangeDirectory(PathOf("Media"));
  for (const auto& [name, bytes] : cases) {
    app::ResetRunState();
    ASSERT_TRUE(WriteBytes(PathOf("Media\\UpdateInfo.xml"), bytes));
    EXPECT_FALSE(app::ReadIsTargetHardware()) << name;
    Load();
    EXPECT_TRUE(app::Run().bOnDevice) << name;
    EXPECT_EQ(app::Run().LocationPaths[version::LANGUAGE_PACKAGE], "C:\\Sprache\\\xE9t\xE9") << name;
    EXPECT_EQ(app::Run().UpdateFiles, (Files{"C:\\one.zam", "C:\\two.zam"})) << name;
  }
}

TEST_F(DescriptorTest, ADescriptorOfSeveralMegabytes) {
  std::string text = "<UpdateInfo><IsTargetHardware>true</IsTargetHardware><UpdateList>\r\n";
  for (int i = 0; i < 200000; ++i) text += "  <File>C:\\Update\\package_" + std::to_string(i) + ".zam</File>\r\n";
  text += "</UpdateList></UpdateInfo>\r\n";
  ASSERT_GT(text.size(), 7000000u);
  Write(text);
  Load();
  EXPECT_TRUE(app::Run().bOnDevice);
  ASSERT_EQ(app::Run().UpdateFiles.size(), 200000u);
  EXPECT_EQ(app::Run().UpdateFiles.back(), "C:\\Update\\package_199999.zam");
}

}  // namespace
