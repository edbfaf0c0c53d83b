#pragma once
// A version value of installed content: major and minor number, a date and an
// optional pre-release text, with their text forms and their order.
//
// Text comes in the device's two forms: wide (UTF-16) and narrow (the system
// code page). Every text operation takes or gives the wide form; the narrow
// forms are overloads that convert at the edge, byte for code unit, as the C
// runtime does in the "C" locale the tool runs in.
#include <cstdint>
#include <string>

namespace version {

// The fields of Windows' SYSTEMTIME, in its order.
struct SystemTime {
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t dayOfWeek = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};

// The buffer form of the text getters: the text's length plus one for the
// terminator; text and terminator are copied only when a buffer is given
// and `capacity` (in characters) holds them both.
int CopyText(const std::u16string& text, char16_t* buffer, int capacity);
int CopyText(const std::string& text, char* buffer, int capacity);

// A calendar date with the text last produced for it.
struct VersionDate {
  SystemTime date;
  std::u16string text;

  VersionDate() = default;
  explicit VersionDate(const SystemTime& time) : date(time) {}
  VersionDate(int year, int month, int day);

  // The text "%04d-%02d-%02d" of year, month and day (0000-00-00 for an
  // empty date); true, since the text is never empty.
  bool FormatDate();
  // Reads "%04d-%02d-%02d" from the start of `text`, ignoring what follows
  // the day. Every field is cleared first; false for an empty text or one
  // that does not give all three numbers, with the date left at zero.
  bool ParseDate(const std::u16string& text);
  bool ParseDate(const std::string& text);
};

// Year, month, day, hour, minute, second and milliseconds in that order
// (never the day of week): -1, 0 or 1.
int CompareDates(const VersionDate& a, const VersionDate& b);

struct VersionNumber {
  std::int32_t Major = 0;
  std::int32_t Minor = 0;
  // Non-empty for a pre-release of Major.Minor.
  std::u16string PreRelease;
  VersionDate Date;
  // The last VersionText with a space and with "_" as separator.
  std::u16string DisplayText;
  std::u16string FileText;

  VersionNumber() = default;
  VersionNumber(std::int32_t major, std::int32_t minor, const std::u16string& preRelease, const SystemTime& date);
  VersionNumber(std::int32_t major, std::int32_t minor, const std::string& preRelease, const SystemTime& date);

  void SetMajor(std::int32_t major) { Major = major; }
  void SetMinor(std::int32_t minor) { Minor = minor; }
  void SetDate(const SystemTime& date) { Date = VersionDate(date); }
  // An empty text makes the value a release.
  void SetPreRelease(const std::u16string& preRelease) { PreRelease = preRelease; }
  void SetPreRelease(const std::string& preRelease);

  // "Major.Minor<separator>date[<separator>PreRelease]", Minor at least two
  // digits (1.05_2014-07-07); kept in DisplayText for a space, in FileText
  // for "_".
  std::u16string VersionText(char16_t separator);

  // The getters build their text again first.
  std::u16string GetDisplayText();
  std::string GetDisplayTextA();
  int GetDisplayText(char16_t* buffer, int capacity);
  int GetDisplayText(char* buffer, int capacity);
  std::u16string GetFileText();
  std::string GetFileTextA();
  int GetFileText(char16_t* buffer, int capacity);
  int GetFileText(char* buffer, int capacity);
  std::u16string GetDateText();
  std::string GetDateTextA();
  int GetDateText(char16_t* buffer, int capacity);
  int GetDateText(char* buffer, int capacity);
  const std::u16string& GetPreRelease() const { return PreRelease; }
  std::string GetPreReleaseA() const;
  int GetPreRelease(char16_t* buffer, int capacity) const { return CopyText(PreRelease, buffer, capacity); }
  int GetPreRelease(char* buffer, int capacity) const;
};

// Major, minor, date, then the pre-release: a pre-release comes before the
// release of the same number and date, and two pre-release texts compare
// without regard to ASCII letter case. Negative, zero or positive.
int CompareVersions(const VersionNumber& a, const VersionNumber& b);

// _wcsicmp in the "C" locale: ASCII letters folded to lower case, then code
// units compared as numbers; -1, 0 or 1.
int CompareNoCase(const std::u16string& a, const std::u16string& b);

}  // namespace version
