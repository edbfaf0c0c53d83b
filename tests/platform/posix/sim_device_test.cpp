// Rules that only the device simulator has: where device paths land on the
// host, how attributes are kept there, and the time scale.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file.h"
#include "platform/mapping.h"
#include "platform/posix/sim_device.h"
#include "platform/user_locale.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

class SimDeviceTest : public testsupport::ScratchTest {
 protected:
  std::string Root() const { return getenv("ORVANTA_DEVICE_ROOT"); }
  std::string HostBytes(const std::string& host) const {
    std::ifstream in(host, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(SimDeviceTest, DrivePathsLandUnderTheDeviceRootWithoutRegardToCase) {
  ASSERT_TRUE(MakeFolder("C:\\Windows"));
  ASSERT_TRUE(MakeFolder("c:\\WINDOWS\\OEM"));
  ASSERT_TRUE(testsupport::WriteBytes("C:\\Windows\\OEM\\x.txt", "device"));
  EXPECT_EQ(HostBytes(Root() + "/C/Windows/OEM/x.txt"), "device");
  EXPECT_EQ(testsupport::ReadBytes("c:\\WINDOWS\\oem\\X.TXT"), "device");
  ASSERT_TRUE(testsupport::WriteBytes("c:\\windows\\oem\\New Name.Txt", "new"));
  EXPECT_TRUE(std::filesystem::exists(Root() + "/C/Windows/OEM/New Name.Txt"));
  EXPECT_FALSE(std::filesystem::exists(Root() + "/C/windows"));
}

TEST_F(SimDeviceTest, PathFormsAndTheirErrors) {
  std::string host;
  EXPECT_FALSE(sim::MapPath("\\\\server\\share\\file", &host));
  EXPECT_EQ(LastError(), kErrorBadNetpath);
  EXPECT_FALSE(sim::MapPath("C:\\a|b", &host));
  EXPECT_EQ(LastError(), kErrorInvalidName);
  EXPECT_FALSE(sim::MapPath("C:\\" + std::string(260, 'x'), &host));
  EXPECT_EQ(LastError(), kErrorFilenameExcedRange);
  ASSERT_TRUE(sim::MapPath("d:\\..\\..\\x", &host));
  EXPECT_EQ(host, Root() + "/D/x") << "\"..\" stops at the drive's root";
  ASSERT_TRUE(sim::MapPath("\\rooted\\y", &host));
  EXPECT_EQ(host, Root() + "/C/rooted/y");
  ASSERT_TRUE(sim::MapPath("/etc/passwd", &host));
  EXPECT_EQ(host, Root() + "/C/etc/passwd") << "a leading slash is the current drive's root, never the host's";
  ASSERT_TRUE(sim::MapPath(Root() + "/c/../C/Windows/../x", &host));
  EXPECT_EQ(host, Root() + "/C/x") << "a host path into the device is what it names there";

  std::string full;
  ASSERT_TRUE(FullPath("C:/Windows//System32/", &full));
  EXPECT_EQ(full, "C:\\Windows\\System32\\");

  // A working directory outside the device gives host paths; there a
  // leading slash is the host's root.
  ASSERT_EQ(chdir("/tmp"), 0);
  ASSERT_TRUE(FullPath("..\\update_log.txt", &full));
  EXPECT_EQ(full, "/update_log.txt");
  ASSERT_TRUE(sim::MapPath("/etc/passwd", &host));
  EXPECT_EQ(host, "/etc/passwd");
}

TEST_F(SimDeviceTest, NarrowNamesAreLatin1AndHostNamesUtf8) {
  std::string name = "caf\xE9.txt";  // é in the device's code page
  ASSERT_TRUE(testsupport::WriteBytes(PathOf(name), "x"));
  EXPECT_TRUE(std::filesystem::exists(Root() + "/C/scratch/caf\xC3\xA9.txt"));
  std::ofstream(Root() + "/C/scratch/\xE2\x82\xAC.txt") << "euro";
  std::vector<FolderEntry> entries;
  ASSERT_TRUE(ListFolder(PathOf("*"), &entries));
  std::vector<std::string> names;
  for (const FolderEntry& e : entries) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"?.txt", name}));
}

TEST_F(SimDeviceTest, ReadOnlyIsTheOwnerWriteBitAndTheRestAnExtendedAttribute) {
  std::string path = PathOf("attr.txt");
  ASSERT_TRUE(testsupport::WriteBytes(path, "x"));
  ASSERT_TRUE(SetAttributes(path, kAttributeReadOnly | kAttributeSystem));
  struct stat st;
  ASSERT_EQ(stat((Root() + "/C/scratch/attr.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & S_IWUSR, 0u);
  chmod((Root() + "/C/scratch/attr.txt").c_str(), st.st_mode | S_IWUSR);
  EXPECT_EQ(FileAttributes(path) & kAttributeReadOnly, 0u) << "the mode bit decides read-only";
}

// A mapping holds its file's descriptor: the file stays held with its share
// mode until the last of the two is closed, in either order, and then no
// descriptor is left open.
TEST_F(SimDeviceTest, AMappingAndItsFileHoldOneDescriptorUntilTheLastOfThemCloses) {
  auto openDescriptors = [] {
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator());
  };
  std::string path = PathOf("held.bin");
  auto before = openDescriptors();
  for (bool fileFirst : {true, false}) {
    File file = OpenFile(path, kGenericRead | kGenericWrite, kShareNone, Disposition::CreateAlways, kAttributeNormal);
    Mapping mapping = CreateMapping(file, kPageReadWrite, 10);
    ASSERT_TRUE(mapping.IsValid());
    EXPECT_EQ(openDescriptors(), before + 1);
    if (fileFirst) {
      file.Close();
      EXPECT_TRUE(MapView(mapping, kFileMapWrite, 0, 0).IsMapped());
    } else {
      mapping.Close();
      Dword done = 0;
      EXPECT_TRUE(WriteToFile(file, "x", 1, &done));
    }
    EXPECT_FALSE(OpenFile(path, kGenericRead, kShareRead | kShareWrite | kShareDelete, Disposition::OpenExisting, 0)
                     .IsValid());
    EXPECT_EQ(LastError(), kErrorSharingViolation);
    file.Close();
    mapping.Close();
    EXPECT_EQ(openDescriptors(), before);
  }
  EXPECT_TRUE(RemoveFile(path));
}

TEST_F(SimDeviceTest, TheTimeScaleShortensWaits) {
  testsupport::SetEnvironment("ORVANTA_SIM_TIME_SCALE", "0");
  for (int i = 0; i < 1000; ++i) Wait100ms();
  WaitMilliseconds(3600 * 1000);
  unsetenv("ORVANTA_SIM_TIME_SCALE");
}

TEST_F(SimDeviceTest, DeviceDefaultsForTheEnvironment) {
  const char* saved = getenv("SYSTEMROOT");
  unsetenv("SYSTEMROOT");
  unsetenv("ProgramData");
  EXPECT_EQ(ExpandEnvironment("%SYSTEMROOT%\\OEM\\ZAMHelper\\engdbg.flg"), "C:\\Windows\\OEM\\ZAMHelper\\engdbg.flg");
  EXPECT_EQ(ExpandEnvironment("%ProgramData%"), "C:\\ProgramData");
  setenv("SystemRoot", "D:\\Win", 1);
  EXPECT_EQ(ExpandEnvironment("%SYSTEMROOT%"), "D:\\Win") << "the host's value wins";
  unsetenv("SystemRoot");
  if (saved != nullptr) setenv("SYSTEMROOT", saved, 1);
}

TEST_F(SimDeviceTest, TheUserLocaleComesFromTheHostLocaleSettings) {
  const char* savedAll = getenv("LC_ALL");
  std::string all = savedAll ? savedAll : "";
  setenv("LC_ALL", "de_AT.UTF-8", 1);
  EXPECT_EQ(UserLocaleLanguage(49), "de");
  EXPECT_EQ(UserLocaleCountry(49), "AT");
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(UserLocaleLanguage(49), "en");
  EXPECT_EQ(UserLocaleCountry(49), "US");
  if (savedAll) setenv("LC_ALL", all.c_str(), 1); else unsetenv("LC_ALL");
}

}  // namespace
