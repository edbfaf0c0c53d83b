#pragma once
// The package types shared by the whole system: numbers, names, conversions.
#include <cstdint>
#include <string>

namespace version {

using PackageType = std::int32_t;

constexpr PackageType SOFTWARE = 0;
constexpr PackageType ICONS = 1;
constexpr PackageType LANGUAGE_PACKAGE = 2;
constexpr PackageType MAP = 3;
constexpr PackageType HW_LIBRARY = 4;
constexpr PackageType RAZOVIR = 5;
constexpr PackageType PLATFORM = 6;
constexpr PackageType PRODUCT_CONFIG = 7;
constexpr PackageType MASTER_CONFIG = 8;
constexpr PackageType VOICE = 9;
constexpr PackageType INSTALLER = 10;
constexpr PackageType APP_SETUP = 11;
constexpr PackageType OS_IMAGING = 12;
constexpr PackageType RECOVERY = 13;
constexpr PackageType SCRIPTS = 14;
constexpr PackageType IMG_BOOT_ENV = 15;
constexpr PackageType TALLYBIRD = 16;
constexpr PackageType UNKNOWN = 17;
// The result of parsing a name that is not in the table.
constexpr PackageType NoPackageType = 18;

constexpr int kPackageTypeCount = 18;

extern const char16_t* const PackageTypeNames[kPackageTypeCount];

// Defined for 0 to 17.
std::u16string PackageTypeName(PackageType type);

// The type whose name equals `name` without regard to ASCII letter case; 18 otherwise.
PackageType ParsePackageType(const std::u16string& name);
PackageType ParsePackageType(const std::string& name);

}  // namespace version
