// holdfile PATH ACCESS SHARE: opens PATH through the operating-system layer
// and holds it open until standard input closes, so that tests can put a
// file "in use". Prints "opened" or "failed CODE" on its first line.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/file.h"

namespace {

bool ParseAccess(const std::string& text, platform::Dword* access) {
  if (text == "read") *access = platform::kGenericRead;
  else if (text == "write") *access = platform::kGenericWrite;
  else if (text == "readwrite") *access = platform::kGenericRead | platform::kGenericWrite;
  else return false;
  return true;
}

bool ParseShare(const std::string& text, platform::Dword* share) {
  *share = platform::kShareNone;
  if (text == "none") return true;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('+', start);
    std::string word = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (word == "read") *share |= platform::kShareRead;
    else if (word == "write") *share |= platform::kShareWrite;
    else if (word == "delete") *share |= platform::kShareDelete;
    else return false;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  platform::Dword access = 0;
  platform::Dword share = 0;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::printf("usage: holdfile PATH read|write|readwrite none|SHARE\n"
                "  SHARE: read, write and delete joined by '+'\n"
                "Opens PATH and holds it open until standard input closes.\n");
    return 0;
  }
  if (argc != 4 || !ParseAccess(argv[2], &access) || !ParseShare(argv[3], &share)) {
    std::fprintf(stderr, "usage: holdfile PATH read|write|readwrite none|SHARE\n");
    return 2;
  }
  platform::Disposition disposition = (access & platform::kGenericWrite) ? platform::Disposition::OpenAlways
                                                                          : platform::Disposition::OpenExisting;
  platform::File file = platform::OpenFile(argv[1], access, share, disposition, platform::kAttributeNormal);
  if (file.IsValid()) {
    std::printf("opened\n");
  } else {
    std::printf("failed %lu\n", static_cast<unsigned long>(platform::LastError()));
  }
  std::fflush(stdout);
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
  }
  return file.IsValid() ? 0 : 1;
}
