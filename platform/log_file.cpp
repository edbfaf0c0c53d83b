#include "platform/log_file.h"

#include <cstdio>
#include <cstring>

#include "platform/file.h"

namespace platform {
namespace {

File OpenLog(const std::string& path) {
  return OpenFile(path, kGenericWrite, kShareRead | kShareWrite, Disposition::OpenAlways, kAttributeNormal);
}

}  // namespace

void AppendToLog(const std::string& path, const char* text, bool firstWrite) {
  File log = OpenLog(path);
  if (firstWrite) {
    if (!log.IsValid()) log = OpenLog(path);
    std::uint64_t size = 0;
    // The position is still at the start, so the end is set there.
    if (log.IsValid() && FileSize(log, &size) && size > kLogSizeLimit) SetFileEnd(log);
  }
  if (!log.IsValid()) return;
  AppendToFile(log, text, static_cast<Dword>(std::strlen(text)), nullptr);
}

bool FormatLogText(const char* prefix, const char* format, va_list args, std::string* text) {
  va_list measure;
  va_copy(measure, args);
  int messageLength = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (messageLength <= 0) return false;
  std::size_t prefixLength = std::strlen(prefix);
  std::string line(prefixLength + static_cast<std::size_t>(messageLength) + 1, '\0');
  std::memcpy(line.data(), prefix, prefixLength);
  std::vsnprintf(line.data() + prefixLength, line.size() - prefixLength, format, args);
  line.pop_back();
  *text = std::move(line);
  return true;
}

}  // namespace platform
