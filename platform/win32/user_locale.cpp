#include "platform/user_locale.h"

#include <windows.h>

#include <vector>

namespace platform {
namespace {

std::string LocaleText(LCTYPE type, std::size_t limit) {
  std::vector<char> buffer(limit + 1, '\0');
  int length = ::GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buffer.data(), static_cast<int>(buffer.size()));
  if (length <= 0) return std::string();
  return std::string(buffer.data());
}

}  // namespace

std::string UserLocaleLanguage(std::size_t limit) { return LocaleText(LOCALE_SISO639LANGNAME, limit); }

std::string UserLocaleCountry(std::size_t limit) { return LocaleText(LOCALE_SISO3166CTRYNAME, limit); }

bool SystemTextFromUtf8(const std::string& utf8, std::string* narrow) {
  narrow->clear();
  if (utf8.empty()) return true;
  if (utf8.find('\0') != std::string::npos) return false;
  int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (units <= 0) return false;
  std::vector<wchar_t> wide(static_cast<std::size_t>(units));
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), wide.data(), units);
  // A UTF-8 code page (zampack's, through its manifest) takes the text as it is.
  if (::GetACP() == CP_UTF8) {
    *narrow = utf8;
    return true;
  }
  BOOL defaulted = FALSE;
  int bytes = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, nullptr, 0, nullptr, &defaulted);
  if (bytes <= 0 || defaulted) return false;
  narrow->resize(static_cast<std::size_t>(bytes));
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), units, narrow->data(), bytes, nullptr, &defaulted);
  return !defaulted;
}

}  // namespace platform
