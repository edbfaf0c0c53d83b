#include "tools/orvanta-sim/commands.h"

#include <cstdio>
#include <vector>

#include "platform/file.h"
#include "platform/restart.h"

namespace orvanta_sim {
namespace {

bool Exists(const std::string& path) { return platform::FileAttributes(path) != platform::kInvalidAttributes; }

// As the system does at boot: a delete of a missing path and a move of a
// missing source are skipped; a move does not replace an existing target.
bool Apply(const platform::PendingOperation& op) {
  if (!Exists(op.from)) return true;
  if (op.isDelete) {
    platform::Dword attributes = platform::FileAttributes(op.from);
    if (attributes & platform::kAttributeDirectory) return platform::RemoveFolder(op.from);
    platform::SetAttributes(op.from, platform::kAttributeNormal);
    return platform::RemoveFile(op.from);
  }
  return platform::MoveNow(op.from, op.to);
}

void Print(const platform::PendingOperation& op) {
  if (op.isDelete) {
    std::printf("delete\t%s\n", op.from.c_str());
  } else {
    std::printf("move\t%s\t%s\n", op.from.c_str(), op.to.c_str());
  }
}

}  // namespace

int Pending() {
  std::vector<platform::PendingOperation> operations;
  if (!platform::ListPendingOperations(&operations)) {
    std::fprintf(stderr, "orvanta-sim: cannot read the pending restart operations (error %lu)\n",
                 static_cast<unsigned long>(platform::LastError()));
    return 1;
  }
  for (const platform::PendingOperation& op : operations) Print(op);
  return 0;
}

int Restart() {
  std::vector<platform::PendingOperation> operations;
  if (!platform::ListPendingOperations(&operations)) {
    std::fprintf(stderr, "orvanta-sim: cannot read the pending restart operations (error %lu)\n",
                 static_cast<unsigned long>(platform::LastError()));
    return 1;
  }
  // The programs of the ending session let go of their files first.
  int ended = EndServices();
  int failed = 0;
  for (const platform::PendingOperation& op : operations) {
    if (!Apply(op)) {
      ++failed;
      std::fprintf(stderr, "orvanta-sim: failed with error %lu: ", static_cast<unsigned long>(platform::LastError()));
      std::fflush(stderr);
      Print(op);
    }
  }
  if (!platform::ClearPendingOperations()) {
    std::fprintf(stderr, "orvanta-sim: cannot empty the pending restart operations (error %lu)\n",
                 static_cast<unsigned long>(platform::LastError()));
    return 1;
  }
  platform::RecordRestart();
  ClearShutdownRequest();
  int notStarted = StartAutomaticServices();
  std::printf("restarted: %zu pending operations carried out, %d failed\n", operations.size(), failed);
  if (ended > 0 || notStarted > 0) std::printf("services: %d ended, %d did not start again\n", ended, notStarted);
  return 0;
}

}  // namespace orvanta_sim
