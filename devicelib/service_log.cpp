#include "devicelib/service_log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "devicelib/test_support.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/log_file.h"

namespace devicelib {
namespace {

constexpr const char* kServiceLogName = "%ProgramData%\\Colmarte Company\\ZAMServicelog.txt";
// The path buffer holds 260 characters with its terminator.
constexpr std::size_t kMaxLogPath = 259;

struct ServiceLogState {
  // The expanded path, fixed by the first write of the process ("" until then).
  std::string path;
};

ServiceLogState& State() {
  static ServiceLogState state;
  return state;
}

int WriteFormatted(const char* prefix, const char* format, va_list args) {
  std::string text;
  if (!platform::FormatLogText(prefix, format, args, &text)) return -1;
  WriteServiceLog(text.c_str());
  return static_cast<int>(text.size());
}

}  // namespace

void ResetServiceLogState() { State() = ServiceLogState(); }

void WriteServiceLog(const char* text) {
  ServiceLogState& state = State();
  bool firstWrite = state.path.empty();
  if (firstWrite) {
    // A name that does not expand into the buffer leaves it empty, and the
    // next text tries again.
    std::string expanded = platform::ExpandEnvironment(kServiceLogName);
    if (expanded.size() > kMaxLogPath) return;
    state.path = expanded;
  }
  platform::AppendToLog(state.path, text, firstWrite);
}

int ServiceLog(const char* format, ...) {
  platform::LocalTime now = platform::CurrentLocalTime();
  char prefix[300];
  if (std::snprintf(prefix, sizeof(prefix), "%d-%02d-%02d %02d:%02d:%02d ", now.year, now.month, now.day, now.hour,
                    now.minute, now.second) < 0) {
    return -1;
  }
  va_list args;
  va_start(args, format);
  int written = WriteFormatted(prefix, format, args);
  va_end(args);
  return written;
}

int ServiceLogNoTime(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written = WriteFormatted("", format, args);
  va_end(args);
  return written;
}

}  // namespace devicelib
