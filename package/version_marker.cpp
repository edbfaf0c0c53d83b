#include "package/version_marker.h"

#include <new>
#include <vector>

#include "app/run_state.h"
#include "platform/file.h"
#include "version/package_type.h"

namespace package {

namespace {

// Both 13 code units: the repair never changes the file's length.
const char16_t kWrongMarker[] = u"<PreRelease/>";
const char16_t kRightMarker[] = u"</PreRelease>";
constexpr std::size_t kMarkerUnits = 13;
const char16_t kOpeningTag[] = u"<PreRelease>";
constexpr std::size_t kOpeningUnits = 12;

char16_t UnitAt(const std::vector<unsigned char>& bytes, std::size_t unit) {
  return static_cast<char16_t>(bytes[2 * unit] | (bytes[2 * unit + 1] << 8));
}

// The first occurrence of the wrong marker among the first `units` code
// units, read as a NUL-terminated text; `units` when there is none.
std::size_t FindMarker(const std::vector<unsigned char>& bytes, std::size_t units) {
  std::size_t end = 0;
  while (end < units && UnitAt(bytes, end) != u'\0') ++end;
  for (std::size_t at = 0; at + kMarkerUnits <= end; ++at) {
    std::size_t matched = 0;
    while (matched < kMarkerUnits && UnitAt(bytes, at + matched) == kWrongMarker[matched]) ++matched;
    if (matched == kMarkerUnits) return at;
  }
  return units;
}

// The one damaged form: the marker ends the text of an open PreRelease
// element ("<PreRelease>1<PreRelease/>"), so no tag stands between that
// opening tag and the marker. An empty element of a well-formed file stands
// after a tag or on a line of its own, and is no such closing tag.
bool ClosesPreReleaseText(const std::vector<unsigned char>& bytes, std::size_t at) {
  if (at == 0 || UnitAt(bytes, at - 1) == u' ') return false;
  std::size_t tag = at;
  while (tag > 0 && UnitAt(bytes, tag - 1) != u'<') --tag;
  if (tag == 0) return false;
  --tag;
  // At least one unit of text between the opening tag and the marker.
  if (tag + kOpeningUnits >= at) return false;
  for (std::size_t i = 0; i < kOpeningUnits; ++i) {
    if (UnitAt(bytes, tag + i) != kOpeningTag[i]) return false;
  }
  return true;
}

bool ReadAll(platform::File& file, std::vector<unsigned char>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    platform::Dword read = 0;
    if (!platform::ReadFromFile(file, bytes.data() + done, static_cast<platform::Dword>(bytes.size() - done), &read) ||
        read == 0) {
      return false;
    }
    done += read;
  }
  return true;
}

}  // namespace

std::string PreReleaseMarkerPath() {
  std::string location = app::Run().LocationPaths[version::LANGUAGE_PACKAGE];
  // A location written without its closing backslash still names the folder;
  // an empty one (the working directory) or a bare drive stays as it is.
  if (!location.empty() && location.back() != '\\' && location.back() != '/' && location.back() != ':') {
    location += '\\';
  }
  return location + "es\\Version.xml";
}

void bFixPreReleaseMarker() {
  std::string path = PreReleaseMarkerPath();
  std::vector<unsigned char> bytes;
  {
    platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead,
                                             platform::Disposition::OpenExisting, platform::kFlagRandomAccess);
    std::uint64_t size = 0;
    if (!file.IsValid() || !platform::FileSize(file, &size) || size > 0xFFFFFFFFu) return;
    try {
      bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
      return;
    }
    if (!ReadAll(file, bytes)) return;
  }
  // An odd last byte is no part of any code unit: it is not searched, and
  // goes back unchanged.
  std::size_t units = bytes.size() / 2;
  std::size_t at = FindMarker(bytes, units);
  if (at == units || !ClosesPreReleaseText(bytes, at)) return;
  for (std::size_t i = 0; i < kMarkerUnits; ++i) {
    bytes[2 * (at + i)] = static_cast<unsigned char>(kRightMarker[i] & 0xFF);
    bytes[2 * (at + i) + 1] = static_cast<unsigned char>(kRightMarker[i] >> 8);
  }
  platform::File file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareNone,
                                           platform::Disposition::OpenAlways, platform::kFlagRandomAccess);
  if (!file.IsValid()) return;
  platform::Dword written = 0;
  platform::WriteToFile(file, bytes.data(), static_cast<platform::Dword>(bytes.size()), &written);
}

}  // namespace package
