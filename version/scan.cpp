#include "version/scan.h"

#include <climits>

namespace version {

namespace {

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

bool ScanInt(const std::u16string& text, std::size_t* position, int width, int* value) {
  std::size_t at = *position;
  while (at < text.size() && IsSpace(text[at])) ++at;
  std::size_t limit = width > 0 ? at + static_cast<std::size_t>(width) : text.size();
  if (limit > text.size()) limit = text.size();
  bool negative = false;
  if (at < limit && (text[at] == u'+' || text[at] == u'-')) negative = text[at++] == u'-';
  std::size_t first = at;
  long long magnitude = 0;
  for (; at < limit && text[at] >= u'0' && text[at] <= u'9'; ++at) {
    if (magnitude <= INT_MAX) magnitude = magnitude * 10 + (text[at] - u'0');
  }
  if (at == first) return false;
  long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX) signedValue = INT_MAX;
  if (signedValue < INT_MIN) signedValue = INT_MIN;
  *value = static_cast<int>(signedValue);
  *position = at;
  return true;
}

bool ScanLiteral(const std::u16string& text, std::size_t* position, char16_t expected) {
  if (*position >= text.size() || text[*position] != expected) return false;
  ++*position;
  return true;
}

}  // namespace version
