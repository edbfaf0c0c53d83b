#pragma once
// The user's default locale.
#include <string>

namespace platform {

// LOCALE_SISO639LANGNAME of the user default locale ("de"), at most `limit` characters.
std::string UserLocaleLanguage(std::size_t limit);
// LOCALE_SISO3166CTRYNAME of the user default locale ("AT"), at most `limit` characters.
std::string UserLocaleCountry(std::size_t limit);

// A UTF-8 text from the host (a path a tool is given) in the system code
// page, the form of the layer's narrow paths; false when it is not UTF-8 or
// a character has no form there.
bool SystemTextFromUtf8(const std::string& utf8, std::string* narrow);

}  // namespace platform
