#pragma once
// Packages made in memory, written to the simulated device, and read back
// through the same calls the update run makes.
#include <string>

#include "app/run_state.h"
#include "app/test_support.h"
#include "package/layout.h"
#include "package/package.h"
#include "package/test_support.h"
#include "package/verify.h"
#include "platform/fault.h"
#include "platform/file.h"
#include "tests/support/scratch.h"
#include "tools/zampack/package_image.h"

namespace packagetest {

class PackageTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    app::ResetRunState();
    package::ResetPackageState();
    // The run log goes one folder up, into the scratch folder.
    ASSERT_TRUE(platform::MakeFolder(PathOf("Run")));
    testsupport::ChangeDirectory(PathOf("Run"));
  }
  void TearDown() override {
    platform::ClearFaults();
    package::ResetPackageState();
    app::ResetRunState();
    ScratchTest::TearDown();
  }

  std::string Log() {
    std::string log = testsupport::ReadBytes(PathOf("update_log.txt"));
    return log == "<missing>" ? std::string() : log;
  }

  // A package of `type` named `name`; records are added by the test.
  static zampack::PackageImage Image(std::uint32_t type = 0, const std::u16string& name = u"Main") {
    zampack::PackageImage image;
    std::string error;
    zampack::StartImage(&image, type, name, u"1.0", &error);
    return image;
  }

  static void AddChange(zampack::PackageImage& image, const std::string& path, bool folder, bool added, bool changed,
                        bool removed) {
    package::ChangeRecord change{};
    package::SetRecordPath(change.Path, path);
    change.IsFolder = folder;
    change.IsAdded = added;
    change.IsChanged = changed;
    change.IsRemoved = removed;
    image.changes.push_back(change);
  }

  static void AddFile(zampack::PackageImage& image, const std::string& path, const std::string& content) {
    zampack::DeliveredFile file;
    package::SetRecordPath(file.record.Path, path);
    file.record.Attributes = platform::kAttributeNormal;
    file.content = content;
    image.files.push_back(file);
  }

  static std::string Encode(zampack::PackageImage image) {
    std::string bytes;
    std::string error;
    EXPECT_TRUE(zampack::EncodeImage(image, &bytes, &error)) << error;
    return bytes;
  }

  // Sets the checksum to the body's digest again after a test changed the body.
  static void Reseal(std::string& bytes) { zampack::SealPackageBytes(bytes); }

  static void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    std::uint8_t field[4];
    package::WriteUint32(field, value);
    bytes.replace(at, 4, reinterpret_cast<const char*>(field), 4);
  }

  // Closes the package left open by the previous step, as stage 4 would.
  std::string Write(const std::string& bytes, const std::string& name = "p.zam") {
    package::Package().mapping.Close();
    package::Package().file.Close();
    std::string path = PathOf(name);
    EXPECT_TRUE(testsupport::WriteBytes(path, bytes));
    return path;
  }

  // The update run's steps up to stage 8, after emptying the lists as the
  // run does after each package; false at the first that fails.
  bool OpenToTables(const std::string& path) {
    package::Package().ChangeList.clear();
    package::Package().CopyList.clear();
    return package::bOpenUpdateFile(path) && package::bVerifyUpdateFile(path) &&
           package::bCreateFileMappings(path) && package::bLoadPackageTables();
  }
};

}  // namespace packagetest
