#pragma once
// Host names that are not UTF-8 (a copy of a device whose names are bytes of
// its code page), shown to a person without losing a byte.
#include <cstdio>
#include <string>

#include "platform/text.h"

namespace tools {

// True when `bytes` is UTF-8 as the device library reads it back unchanged.
inline bool IsUtf8(const std::string& bytes) {
  return platform::WideToUtf8(platform::Utf8ToWide(bytes.c_str())) == bytes && bytes.find('\0') == std::string::npos;
}

// `bytes` with each byte that is not part of a UTF-8 sequence shown as \xNN.
inline std::string EscapedUtf8(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length != 0 && i + length <= bytes.size() && IsUtf8(bytes.substr(i, length))) {
      out += bytes.substr(i, length);
      i += length;
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof(escape), "\\x%02X", lead);
    out += escape;
    ++i;
  }
  return out;
}

}  // namespace tools
