#include <cstdio>

#include "platform/power.h"

namespace platform {

bool operator==(const Guid& a, const Guid& b) {
  if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) return false;
  for (int i = 0; i < 8; ++i) {
    if (a.data4[i] != b.data4[i]) return false;
  }
  return true;
}

std::string GuidText(const Guid& guid) {
  char text[40];
  std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(guid.data1), guid.data2, guid.data3, guid.data4[0], guid.data4[1],
                guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5], guid.data4[6], guid.data4[7]);
  return text;
}

bool ParseGuid(const std::string& text, Guid* guid) {
  std::string body = text;
  if (body.size() == 38 && body.front() == '{' && body.back() == '}') body = body.substr(1, 36);
  if (body.size() != 36 || body[8] != '-' || body[13] != '-' || body[18] != '-' || body[23] != '-') return false;
  auto hex = [&](std::size_t at, std::size_t digits, unsigned long* value) {
    *value = 0;
    for (std::size_t i = at; i < at + digits; ++i) {
      char c = body[i];
      int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      *value = *value * 16 + static_cast<unsigned long>(digit);
    }
    return true;
  };
  unsigned long value = 0;
  Guid parsed;
  if (!hex(0, 8, &value)) return false;
  parsed.data1 = static_cast<std::uint32_t>(value);
  if (!hex(9, 4, &value)) return false;
  parsed.data2 = static_cast<std::uint16_t>(value);
  if (!hex(14, 4, &value)) return false;
  parsed.data3 = static_cast<std::uint16_t>(value);
  const std::size_t bytes[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!hex(bytes[i], 2, &value)) return false;
    parsed.data4[i] = static_cast<std::uint8_t>(value);
  }
  *guid = parsed;
  return true;
}

}  // namespace platform
