#include "platform/user_locale.h"

#include <cstdlib>

#include "platform/text.h"

namespace platform {
namespace {

// The simulated user's locale comes from LC_ALL, then LANG ("de_AT.UTF-8");
// a host without one is en-US, as a new Windows installation is.
std::string LocaleName() {
  for (const char* name : {"LC_ALL", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      std::string text = value;
      if (text == "C" || text == "POSIX" || text.rfind("C.", 0) == 0) break;
      return text;
    }
  }
  return "en_US";
}

}  // namespace

std::string UserLocaleLanguage(std::size_t limit) {
  std::string name = LocaleName();
  std::string language = name.substr(0, name.find_first_of("_.@-"));
  return language.substr(0, limit);
}

std::string UserLocaleCountry(std::size_t limit) {
  std::string name = LocaleName();
  std::size_t start = name.find_first_of("_-");
  if (start == std::string::npos) return std::string();
  std::string country = name.substr(start + 1);
  country = country.substr(0, country.find_first_of(".@"));
  return country.substr(0, limit);
}

// The simulated device's code page is Latin-1.
bool SystemTextFromUtf8(const std::string& utf8, std::string* narrow) {
  std::u16string wide = Utf8ToWide(utf8.c_str());
  if (utf8.find('\0') != std::string::npos || WideToUtf8(wide) != utf8) return false;
  *narrow = WideToNarrow(wide);
  return narrow->size() == wide.size();
}

}  // namespace platform
