#include "platform/text.h"

namespace platform {

std::string WideToNarrow(const std::u16string& wide) {
  std::string narrow;
  narrow.reserve(wide.size());
  for (char16_t unit : wide) {
    if (unit > 0xFF) return std::string();
    narrow += static_cast<char>(unit);
  }
  return narrow;
}

std::u16string NarrowToWide(const std::string& narrow) {
  std::u16string wide;
  wide.reserve(narrow.size());
  for (char c : narrow) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
  return wide;
}

}  // namespace platform
