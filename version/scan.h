#pragma once
// The pieces of the C runtime's swscanf that the version texts are read
// with, over a wide text from a position that each piece moves on.
#include <string>

namespace version {

// "%d" with a field width (0: none): white space skipped, an optional sign,
// then at least one digit, the sign and digits together at most `width`
// characters. A value beyond the int range saturates.
bool ScanInt(const std::u16string& text, std::size_t* position, int width, int* value);

// One character that must come next, as a non-blank character of a format.
bool ScanLiteral(const std::u16string& text, std::size_t* position, char16_t expected);

}  // namespace version
