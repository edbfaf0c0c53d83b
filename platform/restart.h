#pragma once
// Changes made at the next start of the system: MoveFileEx with
// MOVEFILE_DELAY_UNTIL_REBOOT. The system keeps them in call order
// (PendingFileRenameOperations on Windows, sim/pending-restart.tsv on the
// simulator) and carries them out at boot, before any program runs.
#include <string>
#include <vector>

#include "platform/errors.h"

namespace platform {

bool DeleteAtRestart(const std::string& path);
bool MoveAtRestart(const std::string& from, const std::string& to);

struct PendingOperation {
  bool isDelete = false;
  std::string from;  // full paths in the device's form ("C:\...")
  std::string to;    // empty for a delete
};

// The pending operations in the order the system will carry them out.
bool ListPendingOperations(std::vector<PendingOperation>* operations);

// What the system does at boot once it has carried them out: the list is emptied.
bool ClearPendingOperations();

// Notes a start of the system: the simulator appends a line to
// sim/restarts.log; Windows records its own starts and needs nothing here.
void RecordRestart();

// MoveFile: renames a file or folder now; the new name must be free.
bool MoveNow(const std::string& from, const std::string& to);

// MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH: the file
// `from` takes the place of `to` in one step, and the change is on the disk
// when this returns true. An existing `to` must be a file that may be deleted:
// kErrorAccessDenied for a read-only file, a folder, or a file open without
// sharing delete. On failure both stay as they were.
bool ReplaceNow(const std::string& from, const std::string& to);

}  // namespace platform
