#pragma once
// The tool's two text forms: narrow (8-bit, system code page) and wide (UTF-16).
#include <string>

namespace platform {

// Each code unit up to 255 becomes the byte of the same value; a text with
// any other code unit converts to the empty string.
std::string WideToNarrow(const std::u16string& wide);

// Each byte becomes one code unit.
std::u16string NarrowToWide(const std::string& narrow);

// UTF-8 and UTF-16, for XML and host text. Invalid sequences are dropped unit by unit.
std::u16string Utf8ToWide(const char* utf8);
std::string WideToUtf8(const std::u16string& wide);

// A narrow (Latin-1) text as UTF-8, for host output such as JSON.
std::string NarrowToUtf8(const std::string& narrow);

}  // namespace platform
