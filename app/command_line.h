#pragma once
// The tool's command line, "%08X %s": the launching process's id in
// hexadecimal and a language tag.
#include <cstdint>
#include <string>

namespace app {

// Up to eight hex digits, then one whitespace-free word of at most 99
// characters; anything after it is ignored. A missing or unreadable id
// gives 0, a missing tag the empty text.
void ReadCommandLine(const std::string& commandLine, std::uint32_t* processId, std::string* tag);

// Whether the command line is "--help" or "-h" alone (blanks around it
// allowed): a person asking how to run the tool, not the device starting it.
bool AsksForHelp(const std::string& commandLine);

// The text printed for --help.
extern const char kUsage[];

}  // namespace app
