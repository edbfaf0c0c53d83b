#pragma once
// The device service's diagnostic log "%ProgramData%\Colmarte Company\ZAMServicelog.txt",
// shared by every program that uses the device library. Texts are appended
// as they are given, each with its own open and close; callers put the line
// end ("\r\n") into their texts. A process empties a log past 10 MiB at its
// first write. Failures are silent.

namespace devicelib {

// Appends `text` unchanged.
void WriteServiceLog(const char* text);

// Formats the message, prepends "YYYY-MM-DD hh:mm:ss " (local time) and
// appends it. Returns -1, writing nothing, when the message is empty or
// cannot be formatted; otherwise the length of the text written.
int ServiceLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same without the time prefix.
int ServiceLogNoTime(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace devicelib
