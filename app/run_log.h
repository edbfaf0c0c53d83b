#pragma once
// The run log "..\update_log.txt": one timestamped line per event, appended
// with an open, a seek, a write and a close each, so that it is complete on
// disk up to its last line.

namespace app {

// Appends `text` unchanged, without a time prefix. Failures are silent.
void LogWrite(const char* text);

// Formats the message, prepends "YYYY-MM-DD hh:mm:ss.mmm " (local time) and
// appends it. Returns -1, writing nothing, when the message is empty or
// cannot be formatted; otherwise the length of the formatted message.
int LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace app
