// libFuzzer target for the simulator's pending-operations reader: arbitrary
// bytes as sim/pending-restart.tsv. Every operation read is whole, and
// operations scheduled after it read back as scheduled, behind it.
#include <fstream>
#include <string>
#include <vector>

#include "platform/restart.h"
#include "tests/fuzz/fuzz_device.h"

namespace {
std::string g_root;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  fuzzdevice::AbsoluteArguments(argc, argv);
  g_root = fuzzdevice::EnterDevice({"C:\\fuzz\\run"});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using fuzzdevice::Check;
  std::ofstream(g_root + "/sim/pending-restart.tsv", std::ios::binary | std::ios::trunc)
      << std::string(reinterpret_cast<const char*>(data), size);
  std::vector<platform::PendingOperation> read;
  Check(platform::ListPendingOperations(&read));
  for (const platform::PendingOperation& operation : read) {
    Check(!operation.from.empty());
    Check(operation.isDelete == operation.to.empty());
  }
  Check(platform::DeleteAtRestart("C:\\fuzz\\run\\a.txt"));
  Check(platform::MoveAtRestart("C:\\fuzz\\run\\Tmp\\a.txta", "C:\\fuzz\\run\\a.txt"));
  std::vector<platform::PendingOperation> after;
  Check(platform::ListPendingOperations(&after));
  Check(after.size() >= 2);
  const platform::PendingOperation& del = after[after.size() - 2];
  const platform::PendingOperation& move = after.back();
  Check(del.isDelete && del.from == "C:\\fuzz\\run\\a.txt");
  Check(!move.isDelete && move.from == "C:\\fuzz\\run\\Tmp\\a.txta" && move.to == "C:\\fuzz\\run\\a.txt");
  return 0;
}
