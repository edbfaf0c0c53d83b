#pragma once
// The file discipline of the plain-text logs of the tool and the device
// library: every text is appended with its own open and close, so the file on
// disk is complete up to its last text and other programs may read and append
// between texts; a process trims an oversized file once, at its first write.
#include <cstdarg>
#include <cstdint>
#include <string>

namespace platform {

// A log larger than this at a process's first write starts afresh.
constexpr std::uint64_t kLogSizeLimit = 0xA00000;  // 10 MiB

// Opens `path` for writing, sharing read and write, creating it if missing;
// on `firstWrite` a failed open is tried once more and a file larger than
// kLogSizeLimit is emptied (a size that cannot be read leaves it whole). The
// text's bytes up to its terminator go to the end of the file in one piece,
// and the file is closed. Failures are silent: the text is lost.
void AppendToLog(const std::string& path, const char* text, bool firstWrite);

// `prefix` followed by the printf-style message, as one text. False, with
// `text` untouched, when the message is empty or cannot be formatted.
bool FormatLogText(const char* prefix, const char* format, va_list args, std::string* text);

}  // namespace platform
