// libFuzzer target for the command line and the language tag: arbitrary
// text read with "%08X %s", the tag matched to a language, and every message
// of that language taken.
#include <string>

#include "app/command_line.h"
#include "app/messages.h"
#include "app/run_state.h"
#include "tests/fuzz/fuzz_device.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::string text(reinterpret_cast<const char*>(data), size);
  std::uint32_t processId = 0xFFFFFFFF;
  std::string tag = "unset";
  app::ReadCommandLine(text, &processId, &tag);
  Check(tag.size() <= 99);
  Check(tag.find_first_of(" \t\r\n\v\f") == std::string::npos);
  Check(tag.find('\0') == std::string::npos);
  Check(processId == 0 || text.find_first_not_of(" \t\r\n\v\f") != std::string::npos);
  app::SelectLanguage(tag);
  Check(app::Run().language >= 0 && app::Run().language < app::kLanguageCount);
  for (int id = 0; id < app::kMessageCount; ++id) Check(!app::GetLocalizedText(id).empty());
  return 0;
}
