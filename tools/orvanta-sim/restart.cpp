#include <cstdio>
#include <vector>

#include "platform/file.h"
#include "platform/restart.h"
#include "platform/text.h"
#include "tools/common/count.h"
#include "tools/common/json.h"
#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {
namespace {

void Print(const platform::PendingOperation& op) {
  if (op.isDelete) {
    std::printf("delete\t%s\n", op.from.c_str());
  } else {
    std::printf("move\t%s\t%s\n", op.from.c_str(), op.to.c_str());
  }
}

bool List(const char* command, std::vector<platform::PendingOperation>* operations) {
  std::string problem = DeviceProblem();
  if (!problem.empty()) {
    std::fprintf(stderr, "orvanta-sim %s: %s\n", command, problem.c_str());
    return false;
  }
  if (!platform::ListPendingOperations(operations)) {
    std::fprintf(stderr, "orvanta-sim %s: cannot read the pending restart operations: %s\n", command,
                 platform::ErrorText(platform::LastError()).c_str());
    return false;
  }
  return true;
}

// The list holds host paths: one outside the device has no drive and is
// never carried out.
bool OnDrive(const std::string& path) { return path.size() >= 3 && path[1] == ':' && path[2] == '\\'; }

}  // namespace

bool ApplyPendingOperation(const platform::PendingOperation& op) {
  if (!OnDrive(op.from) || (!op.isDelete && !OnDrive(op.to))) {
    platform::SetLastErrorCode(platform::kErrorAccessDenied);
    return false;
  }
  platform::Dword attributes = platform::FileAttributes(op.from);
  if (attributes == platform::kInvalidAttributes) return true;
  if (!op.isDelete) return platform::MoveNow(op.from, op.to);
  if (attributes & platform::kAttributeDirectory) return platform::RemoveFolder(op.from);
  platform::SetAttributes(op.from, platform::kAttributeNormal);
  return platform::RemoveFile(op.from);
}

std::string OperationText(const platform::PendingOperation& op) {
  return op.isDelete ? "delete " + op.from : "move " + op.from + " -> " + op.to;
}

std::string OperationJson(const platform::PendingOperation& op) {
  std::string from = tools::JsonString(platform::NarrowToUtf8(op.from));
  if (op.isDelete) return "{\"operation\": \"delete\", \"path\": " + from + "}";
  return "{\"operation\": \"move\", \"from\": " + from + ", \"to\": " + tools::JsonString(platform::NarrowToUtf8(op.to)) + "}";
}

int Pending(bool json) {
  std::vector<platform::PendingOperation> operations;
  if (!List("pending", &operations)) return 1;
  if (!json) {
    for (const platform::PendingOperation& op : operations) Print(op);
    return 0;
  }
  std::printf("{\"operations\": [");
  for (std::size_t i = 0; i < operations.size(); ++i) {
    std::printf("%s\n  %s", i == 0 ? "" : ",", OperationJson(operations[i]).c_str());
  }
  std::printf("%s]}\n", operations.empty() ? "" : "\n");
  return 0;
}

int Restart() {
  std::vector<platform::PendingOperation> operations;
  if (!List("restart", &operations)) return 1;
  // The programs of the ending session let go of their files first.
  int ended = EndServices();
  int failed = 0;
  for (const platform::PendingOperation& op : operations) {
    if (ApplyPendingOperation(op)) continue;
    ++failed;
    std::fprintf(stderr, "orvanta-sim restart: %s failed: %s\n", OperationText(op).c_str(),
                 platform::ErrorText(platform::LastError()).c_str());
  }
  if (!platform::ClearPendingOperations()) {
    std::fprintf(stderr, "orvanta-sim restart: cannot empty the pending restart operations: %s\n",
                 platform::ErrorText(platform::LastError()).c_str());
    return 1;
  }
  platform::RecordRestart();
  ClearShutdownRequest();
  int notStarted = StartAutomaticServices();
  std::printf("restarted: %s carried out, %d failed\n", tools::Count(operations.size(), "pending operation").c_str(),
              failed);
  if (ended > 0 || notStarted > 0) std::printf("services: %d ended, %d did not start again\n", ended, notStarted);
  return failed == 0 ? 0 : 1;
}

}  // namespace orvanta_sim
