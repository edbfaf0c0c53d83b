#pragma once
// Everything the updater shows to the user, in eight languages.
#include <string>

namespace app {

constexpr int kLanguageCount = 8;
constexpr int kMessageCount = 15;

// Sets the current language from a tag such as "de" or "de-CH", falling
// back to the user's locale; with no match the language stays as it is.
void SelectLanguage(const std::string& tag);

// Whether a tag names one of the eight languages.
bool HasLanguage(const std::string& tag);

// Message `id` (0 to 14) in the current language.
const std::u16string& GetLocalizedText(int id);

}  // namespace app
