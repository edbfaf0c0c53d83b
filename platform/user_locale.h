#pragma once
// The user's default locale.
#include <string>

namespace platform {

// LOCALE_SISO639LANGNAME of the user default locale ("de"), at most `limit` characters.
std::string UserLocaleLanguage(std::size_t limit);
// LOCALE_SISO3166CTRYNAME of the user default locale ("AT"), at most `limit` characters.
std::string UserLocaleCountry(std::size_t limit);

}  // namespace platform
