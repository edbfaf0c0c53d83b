#include "platform/text.h"

#include <cstring>

namespace platform {
namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

void AppendCodePoint(std::u16string& wide, char32_t point) {
  if (point < 0x10000) {
    wide += static_cast<char16_t>(point);
  } else if (point <= 0x10FFFF) {
    point -= 0x10000;
    wide += static_cast<char16_t>(0xD800 + (point >> 10));
    wide += static_cast<char16_t>(0xDC00 + (point & 0x3FF));
  }
}

void AppendUtf8(std::string& utf8, char32_t point) {
  if (point < 0x80) {
    utf8 += static_cast<char>(point);
  } else if (point < 0x800) {
    utf8 += static_cast<char>(0xC0 | (point >> 6));
    utf8 += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    utf8 += static_cast<char>(0xE0 | (point >> 12));
    utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | (point >> 18));
    utf8 += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    utf8 += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    utf8 += static_cast<char>(0x80 | (point & 0x3F));
  }
}

}  // namespace


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

std::u16string Utf8ToWide(const char* utf8) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8);
  std::size_t left = std::strlen(utf8);
  std::u16string wide;
  wide.reserve(left);
  while (left > 0) {
    unsigned lead = p[0];
    if (lead < 0x80) {
      AppendCodePoint(wide, lead);
      p += 1, left -= 1;
    } else if (lead - 0xC0 < 0x20 && left >= 2 && IsContinuation(p[1])) {
      AppendCodePoint(wide, ((lead & 0x1F) << 6) | (p[1] & 0x3F));
      p += 2, left -= 2;
    } else if (lead - 0xE0 < 0x10 && left >= 3 && IsContinuation(p[1]) && IsContinuation(p[2])) {
      AppendCodePoint(wide, ((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
      p += 3, left -= 3;
    } else if (lead - 0xF0 < 0x08 && left >= 4 && IsContinuation(p[1]) && IsContinuation(p[2]) &&
               IsContinuation(p[3])) {
      AppendCodePoint(wide, ((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F));
      p += 4, left -= 4;
    } else {
      p += 1, left -= 1;
    }
  }
  return wide;
}

std::string WideToUtf8(const std::u16string& wide) {
  std::string utf8;
  utf8.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t unit = wide[i];
    if (unit < 0xD800 || unit >= 0xE000) {
      AppendUtf8(utf8, unit);
    } else if (unit < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000) {
      AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (wide[i + 1] - 0xDC00));
      ++i;
    }
  }
  return utf8;
}

std::string NarrowToUtf8(const std::string& narrow) { return WideToUtf8(NarrowToWide(narrow)); }

}  // namespace platform
