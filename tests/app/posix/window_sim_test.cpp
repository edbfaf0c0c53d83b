// The simulated window's traces on the device: sim/window.txt, the message
// box record, and the switch that makes window creation fail.
#include <stdio.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/progress_window.h"
#include "app/run_state.h"
#include "app/test_support.h"
#include "platform/window.h"
#include "tests/support/scratch.h"

namespace {

class WindowSimTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override {
    ScratchTest::SetUp();
    app::ResetRunState();
  }
  std::string SimFile(const std::string& name) {
    std::ifstream in(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/" + name, std::ios::binary);
    if (!in) return "<missing>";
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

TEST_F(WindowSimTest, TheTextIsWrittenAtEveryPumpAndWhenTheWindowGoes) {
  ASSERT_TRUE(app::InitApp(1));
  app::ShowMessage(1);
  EXPECT_EQ(SimFile("window.txt"), "<missing>");
  app::PumpMessages();
  EXPECT_EQ(SimFile("window.txt"), "COLMARTE COMPANY SOFTWARE UPDATE");
  app::Run().language = 3;
  app::ShowMessage(4);
  app::DestroyProgressWindow();
  EXPECT_EQ(SimFile("window.txt"), "COLMARTE COMPANY SOFTWARE UPDATETermin\xC3\xA9  ");
}

TEST_F(WindowSimTest, WindowCreationFailsWhileTheSwitchFileExists) {
  std::filesystem::create_directories(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim");
  std::ofstream(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/window-fails").close();
  EXPECT_FALSE(app::InitApp(1));
  EXPECT_FALSE(app::Run().window.mainWindow.IsValid());
}

TEST_F(WindowSimTest, TheMessageBoxIsRecordedAndReturnsWithoutATerminal) {
  ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
  platform::ShowMessageBox(u"You must restart your computer for updates to complete.", u"Please Restart");
  platform::ShowMessageBox(u"Zum Abschluss", u"Bitte f\u00FChren Sie einen Neustart aus.");
  EXPECT_EQ(SimFile("messagebox.log"),
            "Please Restart\tYou must restart your computer for updates to complete.\n"
            "Bitte f\xC3\xBChren Sie einen Neustart aus.\tZum Abschluss\n");
}

TEST_F(WindowSimTest, TheSimulatedScreenIsTheDevicesUnlessConfigured) {
  EXPECT_EQ(platform::ScreenWidth(), 1280);
  EXPECT_EQ(platform::ScreenHeight(), 800);
  std::ofstream(std::string(getenv("ORVANTA_DEVICE_ROOT")) + "/sim/screen.txt") << "1920 1080\n";
  EXPECT_EQ(platform::ScreenWidth(), 1920);
  EXPECT_EQ(platform::ScreenHeight(), 1080);
}

}  // namespace
