#include "app/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "app/run_state.h"
#include "platform/clock.h"
#include "platform/file.h"

namespace app {
namespace {

constexpr const char* kLogName = "..\\update_log.txt";
constexpr std::size_t kMaxLogPath = 260;
constexpr std::uint64_t kLogSizeLimit = 0xA00000;  // 10 MiB

platform::File OpenLog(const std::string& path) {
  return platform::OpenFile(path, platform::kGenericWrite, platform::kShareRead | platform::kShareWrite,
                            platform::Disposition::OpenAlways, platform::kAttributeNormal);
}

// The size rule of a run's first write: a log past 10 MiB starts afresh.
void ApplySizeLimit(platform::File& log) {
  std::uint64_t size = 0;
  if (platform::FileSize(log, &size) && size > kLogSizeLimit) platform::SetFileEnd(log);
}

}  // namespace

void LogWrite(const char* text) {
  RunState& run = Run();
  platform::File log;
  if (run.logPath.empty()) {
    std::string full;
    bool resolved = platform::FullPath(kLogName, &full) && !full.empty() && full.size() <= kMaxLogPath;
    run.logPath = resolved ? full : kLogName;
    log = OpenLog(run.logPath);
    if (!log.IsValid()) log = OpenLog(run.logPath);
    if (log.IsValid()) ApplySizeLimit(log);
  } else {
    log = OpenLog(run.logPath);
  }
  if (!log.IsValid()) return;
  platform::SeekFile(log, 0, platform::SeekFrom::End, nullptr);
  platform::WriteToFile(log, text, static_cast<platform::Dword>(std::strlen(text)), nullptr);
}

int LogMessage(const char* format, ...) {
  platform::LocalTime now = platform::CurrentLocalTime();
  char prefix[300];
  int prefixLength = std::snprintf(prefix, sizeof(prefix), "%d-%02d-%02d %02d:%02d:%02d.%03d ", now.year,
                                   now.month, now.day, now.hour, now.minute, now.second, now.millisecond);
  if (prefixLength < 0) return -1;

  va_list args;
  va_start(args, format);
  va_list measure;
  va_copy(measure, args);
  int messageLength = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (messageLength <= 0) {
    va_end(args);
    return -1;
  }
  std::vector<char> line(static_cast<std::size_t>(prefixLength + messageLength + 2));
  std::memcpy(line.data(), prefix, static_cast<std::size_t>(prefixLength));
  std::vsnprintf(line.data() + prefixLength, line.size() - static_cast<std::size_t>(prefixLength), format, args);
  va_end(args);
  LogWrite(line.data());
  return prefixLength + messageLength;
}

}  // namespace app
