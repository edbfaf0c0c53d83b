#include <gtest/gtest.h>

#include "version/package_type.h"

using namespace version;

namespace {

TEST(PackageTypeTest, NamesInTableOrder) {
  EXPECT_EQ(PackageTypeName(SOFTWARE), u"SOFTWARE");
  EXPECT_EQ(PackageTypeName(HW_LIBRARY), u"HW_LIBRARY");
  EXPECT_EQ(PackageTypeName(9), u"VOICE");
  EXPECT_EQ(PackageTypeName(16), u"TALLYBIRD");
  EXPECT_EQ(PackageTypeName(17), u"UNKNOWN");
  // Every name parses back to its own value.
  for (PackageType type = 0; type < kPackageTypeCount; ++type) {
    EXPECT_EQ(ParsePackageType(std::u16string(PackageTypeNames[type])), type);
  }
}

TEST(PackageTypeTest, ParsingIgnoresLetterCaseOnly) {
  EXPECT_EQ(ParsePackageType(u"map"), MAP);
  EXPECT_EQ(ParsePackageType(u"Map"), MAP);
  EXPECT_EQ(ParsePackageType(std::string("language_package")), LANGUAGE_PACKAGE);
  EXPECT_EQ(ParsePackageType(std::string("UNKNOWN")), UNKNOWN);
  EXPECT_EQ(ParsePackageType(u"SOFTWARE "), NoPackageType);
  EXPECT_EQ(ParsePackageType(u" SOFTWARE"), NoPackageType);
  EXPECT_EQ(ParsePackageType(u""), NoPackageType);
  EXPECT_EQ(ParsePackageType(u"LANGUAGE PACKAGE"), NoPackageType);
  EXPECT_EQ(ParsePackageType(u"SOFTWAR"), NoPackageType);
  EXPECT_EQ(ParsePackageType(u"SOFTWARES"), NoPackageType);
  // Only ASCII letters fold: a dotless capital I does not make "ıcons".
  EXPECT_EQ(ParsePackageType(u"\u0131CONS"), NoPackageType);
  EXPECT_EQ(ParsePackageType(std::string("\xC9ICONS")), NoPackageType);
}

}  // namespace
