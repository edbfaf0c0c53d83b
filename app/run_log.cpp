#include "app/run_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "app/run_state.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/log_file.h"

namespace app {
namespace {

constexpr const char* kLogName = "..\\update_log.txt";
constexpr std::size_t kMaxLogPath = 260;

}  // namespace

void LogWrite(const char* text) {
  RunState& run = Run();
  bool firstWrite = run.logPath.empty();
  if (firstWrite) {
    std::string full;
    bool resolved = platform::FullPath(kLogName, &full) && !full.empty() && full.size() <= kMaxLogPath;
    run.logPath = resolved ? full : kLogName;
  }
  platform::AppendToLog(run.logPath, text, firstWrite);
}

int LogMessage(const char* format, ...) {
  platform::LocalTime now = platform::CurrentLocalTime();
  char prefix[300];
  int prefixLength = std::snprintf(prefix, sizeof(prefix), "%d-%02d-%02d %02d:%02d:%02d.%03d ", now.year,
                                   now.month, now.day, now.hour, now.minute, now.second, now.millisecond);
  if (prefixLength < 0) return -1;

  va_list args;
  va_start(args, format);
  std::string line;
  bool formatted = platform::FormatLogText(prefix, format, args, &line);
  va_end(args);
  if (!formatted) return -1;
  LogWrite(line.c_str());
  return static_cast<int>(line.size());
}

}  // namespace app
