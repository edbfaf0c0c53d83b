// Time, waits, environment expansion and the user's locale, on both backends.
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/user_locale.h"
#include "tests/support/scratch.h"

using namespace platform;

namespace {

TEST(ClockTest, LocalTimeFieldsAreInRange) {
  LocalTime t = CurrentLocalTime();
  EXPECT_GE(t.year, 2024);
  EXPECT_GE(t.month, 1);
  EXPECT_LE(t.month, 12);
  EXPECT_GE(t.day, 1);
  EXPECT_LE(t.day, 31);
  EXPECT_LE(t.hour, 23);
  EXPECT_LE(t.minute, 59);
  EXPECT_LE(t.second, 60);
  EXPECT_GE(t.millisecond, 0);
  EXPECT_LE(t.millisecond, 999);
}

TEST(EnvironmentTest, DefinedNamesExpandAndOthersStay) {
  testsupport::SetEnvironment("ORVANTA_TEST_VALUE", "dat");
  EXPECT_EQ(ExpandEnvironment("C:\\%ORVANTA_TEST_VALUE%\\x.%orvanta_test_value%"), "C:\\dat\\x.dat");
  EXPECT_EQ(ExpandEnvironment("%ORVANTA_NOT_DEFINED%\\a"), "%ORVANTA_NOT_DEFINED%\\a");
  EXPECT_EQ(ExpandEnvironment("100%"), "100%");
  EXPECT_EQ(ExpandEnvironment("%%"), "%%");
  std::string root = ExpandEnvironment("%SYSTEMROOT%\\OEM");
  EXPECT_EQ(root.find('%'), std::string::npos);
  EXPECT_EQ(root.substr(root.size() - 4), "\\OEM");
}

TEST(UserLocaleTest, NamesAreShortCodes) {
  std::string language = UserLocaleLanguage(49);
  std::string country = UserLocaleCountry(49);
  EXPECT_GE(language.size(), 2u);
  EXPECT_LE(language.size(), 3u);
  EXPECT_EQ(country.size(), 2u);
  EXPECT_LE(UserLocaleLanguage(1).size(), 1u);
}

}  // namespace
