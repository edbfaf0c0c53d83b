#include "package/folder_stages.h"

#include <vector>

#include "app/progress_window.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "package/package.h"
#include "platform/file.h"
#include "platform/restart.h"

namespace package {

const char TempFolder[] = "Tmp\\";

namespace {

// The longest path the device's fixed path buffers hold, without the terminator.
constexpr std::size_t kMaxPath = 259;

bool IsFolder(const std::string& path) {
  platform::Dword attributes = platform::FileAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeDirectory);
}

bool IsFile(const std::string& path) {
  platform::Dword attributes = platform::FileAttributes(path);
  return attributes != platform::kInvalidAttributes && !(attributes & platform::kAttributeDirectory);
}

bool MakeOrFind(const std::string& path) {
  return platform::MakeFolder(path) || platform::LastError() == platform::kErrorAlreadyExists;
}

std::string RecordPath(const ChangeRecord& record) {
  std::string path;
  RecordPathText(record.Path, &path);
  return path;
}

// The leaf a stage-7 fallback folder is named after. A record path that
// ends with a backslash has an empty leaf; it takes the last named
// component instead, so that the fallback never names TempFolder itself.
std::string FallbackLeaf(const DestinationPath& destination) {
  if (!destination.leafName.empty()) return destination.leafName;
  std::string path = destination.fullPath;
  while (!path.empty() && path.back() == '\\') path.pop_back();
  std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

void CreateThroughTempFolder(const std::string& destination, const std::string& leaf) {
  bCreateFolderTree(TempFolder);
  std::string temp = std::string(TempFolder) + leaf;
  if (bCreateFolderTree(temp)) {
    app::LogMessage("Failed to create directory \"%s\"; temp directory \"%s\" created instead; reboot is required.\r\n",
                    destination.c_str(), temp.c_str());
  } else {
    app::LogMessage(
        "ERROR: Failed to create directory \"%s\" AND also failed to create temp directory \"%s\"; reboot is "
        "required.\r\n",
        destination.c_str(), temp.c_str());
  }
  if (!ScheduleMove(temp, destination)) {
    app::LogMessage("ERROR: MoveFileEx(\"%s\", \"%s\", MOVEFILE_DELAY_UNTIL_REBOOT) failed with error %lu.\r\n",
                    temp.c_str(), destination.c_str(), static_cast<unsigned long>(platform::LastError()));
  }
  ScheduleDelete(temp);
  app::Run().bRebootRequired = true;
}

std::string PendingKey(const std::string& path) {
  std::string full;
  return FoldPath(platform::FullPath(path, &full) ? full : path);
}

PackageState& KnownPending() {
  PackageState& state = Package();
  if (state.pendingKnown) return state;
  state.pendingDeletes.clear();
  state.pendingMoveTargets.clear();
  std::vector<platform::PendingOperation> pending;
  if (platform::ListPendingOperations(&pending)) {
    for (const platform::PendingOperation& operation : pending) {
      if (operation.isDelete) {
        state.pendingDeletes.insert(PendingKey(operation.from));
      } else {
        state.pendingMoveTargets.insert(PendingKey(operation.to));
      }
    }
  }
  state.pendingKnown = true;
  return state;
}

}  // namespace

bool HasPendingChange(const std::string& path) {
  PackageState& state = KnownPending();
  std::string key = PendingKey(path);
  return state.pendingDeletes.count(key) != 0 || state.pendingMoveTargets.count(key) != 0;
}

bool HasPendingMoveTo(const std::string& path) { return KnownPending().pendingMoveTargets.count(PendingKey(path)) != 0; }

bool ScheduleDelete(const std::string& path) {
  PackageState& state = KnownPending();
  if (!platform::DeleteAtRestart(path)) return false;
  state.pendingDeletes.insert(PendingKey(path));
  return true;
}

bool ScheduleMove(const std::string& from, const std::string& to) {
  PackageState& state = KnownPending();
  if (!platform::MoveAtRestart(from, to)) return false;
  state.pendingMoveTargets.insert(PendingKey(to));
  return true;
}

bool bDeleteOldFiles() {
  PackageState& state = Package();
  app::SetProgressTotal(state.DeleteCount);
  app::ShowProgress(0);
  std::uint32_t deleted = 0;
  for (const ChangeRecord& record : state.ChangeList) {
    if (record.IsFolder != 0 || (record.IsRemoved == 0 && record.IsChanged == 0)) continue;
    DeleteFileOrDefer(BuildDestinationPath(RecordPath(record)).fullPath);
    app::ShowProgress(++deleted);
    app::PumpMessages();
  }
  for (const ChangeRecord& record : state.ChangeList) {
    if (record.IsRemoved == 0 || record.IsFolder == 0) continue;
    DeleteFolderTree(BuildDestinationPath(RecordPath(record)).fullPath);
    app::ShowProgress(++deleted);
    app::PumpMessages();
  }
  return true;
}

bool bCreateNewFolders() {
  PackageState& state = Package();
  app::SetProgressTotal(state.NewFolderCount);
  app::ShowProgress(0);
  std::uint32_t created = 0;
  for (const ChangeRecord& record : state.ChangeList) {
    if (record.IsAdded == 0 || record.IsFolder == 0) continue;
    DestinationPath destination = BuildDestinationPath(RecordPath(record));
    if (!bCreateFolderTree(destination.fullPath)) CreateThroughTempFolder(destination.fullPath, FallbackLeaf(destination));
    app::ShowProgress(++created);
  }
  return true;
}

int DeleteFileOrDefer(const std::string& path) {
  platform::SetAttributes(path, platform::kAttributeNormal);
  if (platform::RemoveFile(path)) {
    // A replacement that an earlier run left for the restart would bring it back.
    if (HasPendingMoveTo(path)) {
      ScheduleDelete(path);
      app::Run().bRebootRequired = true;
    }
    return 0;
  }
  platform::Dword error = platform::LastError();
  if (path.size() > kMaxPath + 1) return -1;
  // A file another program holds without sharing can be neither deleted nor
  // opened now, but the restart deletes it all the same.
  bool held = (error == platform::kErrorSharingViolation || error == platform::kErrorAccessDenied) && IsFile(path);
  if (!held) {
    platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareRead,
                                             platform::Disposition::OpenExisting, platform::kAttributeNormal);
    if (!file.IsValid()) return -1;
  }
  ScheduleDelete(path);
  app::Run().bRebootRequired = true;
  return 0;
}

// Paths that would not fit the device's 260-character buffers are not
// visited: the folder stays, as one with an entry in use does.
bool DeleteFolderTree(const std::string& path) {
  if (platform::RemoveFolder(path)) return true;
  std::string pattern = path + "\\*.*";
  std::vector<platform::FolderEntry> entries;
  // Something in the folder waits for the restart: the folder's own removal goes behind it.
  bool waits = false;
  if (pattern.size() <= kMaxPath && platform::ListFolder(pattern, &entries)) {
    for (const platform::FolderEntry& entry : entries) {
      if (entry.name.empty() || entry.name[0] == '.') continue;
      std::string child = path + "\\" + entry.name;
      if (child.size() > kMaxPath) continue;
      if (entry.attributes & platform::kAttributeDirectory) {
        if (DeleteFolderTree(child) && IsFolder(child)) waits = true;
      } else {
        if (DeleteFileOrDefer(child) == 0 && IsFile(child)) waits = true;
        app::PumpMessages();
      }
    }
  }
  if (platform::RemoveFolder(path)) return true;
  if (!waits || !ScheduleDelete(path)) return false;
  app::Run().bRebootRequired = true;
  return true;
}

bool bCreateFolderTree(const std::string& path) {
  std::string walk = path;
  std::vector<std::string> pending;
  while (!IsFolder(walk)) {
    std::size_t cut = walk.rfind('\\');
    if (cut == std::string::npos) {
      if (!MakeOrFind(walk)) return false;
      break;
    }
    std::string name = walk.substr(cut + 1);
    if (!name.empty()) pending.insert(pending.begin(), name);
    walk.resize(cut);
  }
  for (const std::string& name : pending) {
    walk += "\\" + name;
    if (!MakeOrFind(walk)) return false;
  }
  return true;
}

}  // namespace package
