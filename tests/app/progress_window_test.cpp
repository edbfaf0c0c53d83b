// The progress window's text, built by the same calls the run makes. On
// Windows the text is read back from the real EDIT control; the simulator's
// model must give the very same text.
#include "app/messages.h"
#include "app/progress_window.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "tests/support/scratch.h"

using namespace app;

namespace {

class ProgressWindowTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ResetRunState();
    ASSERT_TRUE(InitApp(1));
  }
  void TearDown() override {
    ResetRunState();
    ScratchTest::TearDown();
  }
  std::u16string Text() { return platform::WindowText(app::Run().window.textControl); }
};

TEST(ProgressWindowGeometryTest, DeviceAndDemoSizes) {
  WindowGeometry demo = ProgressWindowGeometry(true, 1920, 1080);
  EXPECT_EQ(demo.x, 448);
  EXPECT_EQ(demo.y, 240);
  EXPECT_EQ(demo.width, 1024);
  EXPECT_EQ(demo.height, 600);
  WindowGeometry device = ProgressWindowGeometry(false, 1280, 800);
  EXPECT_EQ(device.x, 0);
  EXPECT_EQ(device.y, 20);
  EXPECT_EQ(device.width, 1280);
  EXPECT_EQ(device.height, 760);
  // Odd sizes truncate; a screen smaller than the demo window puts it off the edge.
  WindowGeometry odd = ProgressWindowGeometry(false, 1001, 799);
  EXPECT_EQ(odd.height, 799 - 39);
  EXPECT_EQ(odd.y, 19);
  WindowGeometry small = ProgressWindowGeometry(true, 800, 480);
  EXPECT_EQ(small.x, -112);
  EXPECT_EQ(small.y, -60);
}

TEST_F(ProgressWindowTest, StagesReplaceEachOtherAndPercentagesChangeInPlace) {
  AppendText("\r\n");
  ShowMessage(1);
  AppendText("\r\n\r\n");
  AppendText("\r\n");
  AppendText("%s: %s %s - ", "SOFTWARE", "Main", "1.2");
  ShowStage(10, true);
  SetProgressTotal(200);
  ShowProgress(0);
  ShowProgress(1);
  ShowProgress(100);
  EXPECT_EQ(Text(), u"\r\nCOLMARTE COMPANY SOFTWARE UPDATE\r\n\r\n\r\nSOFTWARE: Main 1.2 - Verifying Update Information  50%");
  ShowProgress(200);
  ShowStage(8, false);
  // The last percentage shown was 100, so a stage whose first value is 100 shows none.
  SetProgressTotal(0);
  ShowProgress(0);
  EXPECT_EQ(Text(), u"\r\nCOLMARTE COMPANY SOFTWARE UPDATE\r\n\r\n\r\nSOFTWARE: Main 1.2 - Loading Update Information  ");
  SetProgressTotal(4);
  ShowProgress(1);
  ShowMessage(11);
  AppendText("\r\n");
  ShowMessage(9);
  AppendText("\r\n");
  AppendText("%s: %s %s - ", "MAP", "Europe", "");
  std::uint32_t anchor = ShowStage(6, true);
  ShowProgress(1);
  ShowStage(4, false);
  ShowMessage(5);
  std::u16string expected =
      u"\r\nCOLMARTE COMPANY SOFTWARE UPDATE\r\n\r\n"
      u"\r\nSOFTWARE: Main 1.2 - Loading Update Information  25%ERROR: Corrupt Update Information"
      u"\r\nERROR: Update Information Missing."
      u"\r\nMAP: Europe  - Complete  "
      u"\r\n\r\nThe update is complete. Good-Bye\r\n";
  EXPECT_EQ(Text(), expected);
  // ShowStage returned the percent anchor behind "Deleting Old Files and Folders  ".
  EXPECT_EQ(anchor, expected.find(u"Complete  ") + 32);
}

TEST_F(ProgressWindowTest, ExactAndScaledPercentages) {
  ShowStage(3, true);
  auto shown = [&](std::uint32_t total, std::uint32_t done) {
    SetProgressTotal(total);
    ShowProgress(done);
    std::u16string text = Text();
    return text.substr(std::u16string(u"Copying Files  ").size());
  };
  EXPECT_EQ(shown(0, 0), u"100%");
  EXPECT_EQ(shown(1000001, 999999), u"99%") << "scaled: divisor 10,000";
  EXPECT_EQ(shown(1000001, 1000001), u"100%");
  EXPECT_EQ(shown(1000000, 999999), u"99%") << "exact up to 1,000,000";
  EXPECT_EQ(shown(10, 25), u"250%");
  EXPECT_EQ(shown(3, 1), u"33%");
  EXPECT_EQ(shown(0, 7), u"100%");
}

TEST_F(ProgressWindowTest, CaptionLanguageAndNarrowText) {
  EXPECT_EQ(platform::WindowText(app::Run().window.mainWindow), GetLocalizedText(1));
  app::Run().language = 1;
  ShowMessage(4);
  AppendText(" caf\xE9");
  EXPECT_EQ(Text(), u"Update durchgef\u00FChrt.   caf\u00E9");
}

TEST_F(ProgressWindowTest, TextsLongerThanTheBuffersAreCut) {
  std::string longText(1000, 'x');
  AppendText("%s|", longText.c_str());
  EXPECT_EQ(Text(), std::u16string(399, u'x'));
  ShowMessage(2);
  EXPECT_EQ(Text().size(), 399u + GetLocalizedText(2).size());
}

TEST_F(ProgressWindowTest, WritesAfterTheWindowIsGoneHaveNoEffect) {
  ShowMessage(1);
  DestroyProgressWindow();
  ShowMessage(5);
  ShowStage(3, true);
  ShowProgress(3);
  ReleaseFont();
  ReleaseFont();
  EXPECT_EQ(Text(), u"");
}

}  // namespace
