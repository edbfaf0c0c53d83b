#include "version/package_type.h"

#include "platform/text.h"

namespace version {

const char16_t* const PackageTypeNames[kPackageTypeCount] = {
    u"SOFTWARE",   u"ICONS",         u"LANGUAGE_PACKAGE", u"MAP",        u"HW_LIBRARY", u"RAZOVIR",
    u"PLATFORM",   u"PRODUCT_CONFIG", u"MASTER_CONFIG",   u"VOICE",      u"INSTALLER",  u"APP_SETUP",
    u"OS_IMAGING", u"RECOVERY",      u"SCRIPTS",          u"IMG_BOOT_ENV", u"TALLYBIRD", u"UNKNOWN",
};

namespace {

// _wcsicmp in the C locale folds the ASCII letters only.
char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool EqualsIgnoreCase(const std::u16string& a, const char16_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i] != u'\0'; ++i) {
    if (Fold(a[i]) != Fold(b[i])) return false;
  }
  return i == a.size() && b[i] == u'\0';
}

}  // namespace

std::u16string PackageTypeName(PackageType type) { return PackageTypeNames[type]; }

PackageType ParsePackageType(const std::u16string& name) {
  for (PackageType type = 0; type < kPackageTypeCount; ++type) {
    if (EqualsIgnoreCase(name, PackageTypeNames[type])) return type;
  }
  return NoPackageType;
}

// The C runtime's conversion in the "C" locale, which the tool never changes,
// takes each byte as one code unit.
PackageType ParsePackageType(const std::string& name) { return ParsePackageType(platform::NarrowToWide(name)); }

}  // namespace version
