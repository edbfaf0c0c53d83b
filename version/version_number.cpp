#include "version/version_number.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/text.h"
#include "version/scan.h"

namespace version {

int CopyText(const std::u16string& text, char16_t* buffer, int capacity) {
  int needed = static_cast<int>(text.size()) + 1;
  if (buffer != nullptr && capacity >= needed) {
    std::memcpy(buffer, text.c_str(), static_cast<std::size_t>(needed) * sizeof(char16_t));
  }
  return needed;
}

int CopyText(const std::string& text, char* buffer, int capacity) {
  int needed = static_cast<int>(text.size()) + 1;
  if (buffer != nullptr && capacity >= needed) std::memcpy(buffer, text.c_str(), static_cast<std::size_t>(needed));
  return needed;
}

VersionDate::VersionDate(int year, int month, int day) {
  date.year = static_cast<std::uint16_t>(year);
  date.month = static_cast<std::uint16_t>(month);
  date.day = static_cast<std::uint16_t>(day);
}

bool VersionDate::FormatDate() {
  char digits[32];
  std::snprintf(digits, sizeof(digits), "%04d-%02d-%02d", date.year, date.month, date.day);
  text = platform::NarrowToWide(digits);
  return !text.empty();
}

bool VersionDate::ParseDate(const std::u16string& value) {
  date = SystemTime();
  if (value.empty()) return false;
  std::size_t position = 0;
  int year = 0;
  int month = 0;
  int day = 0;
  bool complete = ScanInt(value, &position, 4, &year) && ScanLiteral(value, &position, u'-') &&
                  ScanInt(value, &position, 2, &month) && ScanLiteral(value, &position, u'-') &&
                  ScanInt(value, &position, 2, &day);
  if (!complete) return false;
  date.year = static_cast<std::uint16_t>(year);
  date.month = static_cast<std::uint16_t>(month);
  date.day = static_cast<std::uint16_t>(day);
  return true;
}

bool VersionDate::ParseDate(const std::string& value) { return ParseDate(platform::NarrowToWide(value)); }

int CompareDates(const VersionDate& a, const VersionDate& b) {
  const SystemTime& x = a.date;
  const SystemTime& y = b.date;
  const std::uint16_t left[] = {x.year, x.month, x.day, x.hour, x.minute, x.second, x.milliseconds};
  const std::uint16_t right[] = {y.year, y.month, y.day, y.hour, y.minute, y.second, y.milliseconds};
  for (std::size_t i = 0; i < sizeof(left) / sizeof(left[0]); ++i) {
    if (left[i] != right[i]) return left[i] > right[i] ? 1 : -1;
  }
  return 0;
}

VersionNumber::VersionNumber(std::int32_t major, std::int32_t minor, const std::u16string& preRelease,
                             const SystemTime& date)
    : Major(major), Minor(minor), PreRelease(preRelease), Date(date) {}

VersionNumber::VersionNumber(std::int32_t major, std::int32_t minor, const std::string& preRelease,
                             const SystemTime& date)
    : VersionNumber(major, minor, platform::NarrowToWide(preRelease), date) {}

void VersionNumber::SetPreRelease(const std::string& preRelease) { PreRelease = platform::NarrowToWide(preRelease); }

std::u16string VersionNumber::VersionText(char16_t separator) {
  char number[32];
  std::snprintf(number, sizeof(number), "%d.%02d", Major, Minor);
  Date.FormatDate();
  std::u16string text = platform::NarrowToWide(number) + separator + Date.text;
  if (!PreRelease.empty()) text += separator + PreRelease;
  (separator == u'_' ? FileText : DisplayText) = text;
  return text;
}

std::u16string VersionNumber::GetDisplayText() { return VersionText(u' '); }
std::string VersionNumber::GetDisplayTextA() { return platform::WideToNarrow(GetDisplayText()); }
int VersionNumber::GetDisplayText(char16_t* buffer, int capacity) { return CopyText(GetDisplayText(), buffer, capacity); }
int VersionNumber::GetDisplayText(char* buffer, int capacity) { return CopyText(GetDisplayTextA(), buffer, capacity); }

std::u16string VersionNumber::GetFileText() { return VersionText(u'_'); }
std::string VersionNumber::GetFileTextA() { return platform::WideToNarrow(GetFileText()); }
int VersionNumber::GetFileText(char16_t* buffer, int capacity) { return CopyText(GetFileText(), buffer, capacity); }
int VersionNumber::GetFileText(char* buffer, int capacity) { return CopyText(GetFileTextA(), buffer, capacity); }

std::u16string VersionNumber::GetDateText() {
  Date.FormatDate();
  return Date.text;
}
std::string VersionNumber::GetDateTextA() { return platform::WideToNarrow(GetDateText()); }
int VersionNumber::GetDateText(char16_t* buffer, int capacity) { return CopyText(GetDateText(), buffer, capacity); }
int VersionNumber::GetDateText(char* buffer, int capacity) { return CopyText(GetDateTextA(), buffer, capacity); }

std::string VersionNumber::GetPreReleaseA() const { return platform::WideToNarrow(PreRelease); }
int VersionNumber::GetPreRelease(char* buffer, int capacity) const {
  return CopyText(GetPreReleaseA(), buffer, capacity);
}

int CompareNoCase(const std::u16string& a, const std::u16string& b) {
  auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; };
  for (std::size_t i = 0;; ++i) {
    char16_t x = i < a.size() ? fold(a[i]) : u'\0';
    char16_t y = i < b.size() ? fold(b[i]) : u'\0';
    if (x != y) return x > y ? 1 : -1;
    if (x == u'\0') return 0;
  }
}

int CompareVersions(const VersionNumber& a, const VersionNumber& b) {
  if (a.Major != b.Major) return a.Major > b.Major ? 1 : -1;
  if (a.Minor != b.Minor) return a.Minor > b.Minor ? 1 : -1;
  int dates = CompareDates(a.Date, b.Date);
  if (dates != 0) return dates;
  if (!a.PreRelease.empty() && !b.PreRelease.empty()) return CompareNoCase(a.PreRelease, b.PreRelease);
  if (!a.PreRelease.empty()) return -1;
  if (!b.PreRelease.empty()) return 1;
  return 0;
}

}  // namespace version
