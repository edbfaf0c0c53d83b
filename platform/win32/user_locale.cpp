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

}  // namespace platform
