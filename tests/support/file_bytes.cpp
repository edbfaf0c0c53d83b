#include "platform/file.h"
#include "tests/support/scratch.h"

namespace testsupport {

std::string ReadBytes(const std::string& path) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead,
                                           platform::kShareRead | platform::kShareWrite | platform::kShareDelete,
                                           platform::Disposition::OpenExisting, platform::kAttributeNormal);
  if (!file.IsValid()) return "<missing>";
  std::string bytes;
  char buffer[65536];
  platform::Dword read = 0;
  while (platform::ReadFromFile(file, buffer, sizeof(buffer), &read) && read > 0) bytes.append(buffer, read);
  return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  platform::File file = platform::OpenFile(path, platform::kGenericWrite, platform::kShareNone,
                                           platform::Disposition::CreateAlways, platform::kAttributeNormal);
  platform::Dword written = 0;
  return file.IsValid() &&
         platform::WriteToFile(file, bytes.data(), static_cast<platform::Dword>(bytes.size()), &written) &&
         written == bytes.size();
}

bool Exists(const std::string& path) { return platform::FileAttributes(path) != platform::kInvalidAttributes; }

std::string Utf16Le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::vector<std::string> LogEntries(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    lines.push_back(line.size() > 24 && line[4] == '-' && line[23] == ' ' ? line.substr(24) : line);
    start = end + 2;
  }
  return lines;
}

}  // namespace testsupport
