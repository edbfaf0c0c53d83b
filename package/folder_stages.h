#pragma once
// The folder stages of a package (stage 6 deletes what the package replaces
// or removes, stage 7 creates its new folders) and the file-system
// operations they share with the rest of the run. What cannot be done at
// once because something is in use is left to the next system start, and
// bRebootRequired is set.
#include <string>

namespace package {

// The folder, relative to the working directory, that receives replacement
// files and folders until the next restart.
extern const char TempFolder[];

// Stage 6: every replaced or removed file of the change list, then every
// removed folder with its contents.
bool bDeleteOldFiles();

// Stage 7: every added folder with its missing parents; a folder that cannot
// be created is made under TempFolder and moved into place at the restart.
bool bCreateNewFolders();

// 0 when the file was deleted or its deletion is scheduled for the next
// restart (also for a file held without any sharing); -1 when nothing could
// be done (it is missing, or it is no file and cannot be read).
int DeleteFileOrDefer(const std::string& path);

// Removes a folder with everything in it, as far as possible. Entries whose
// names begin with a dot are left alone, and so is their folder. A folder
// that stays because entries in it wait for the restart has its own removal
// scheduled behind them. True when the folder is gone or its removal is
// scheduled.
bool DeleteFolderTree(const std::string& path);

// Creates the folder and every missing parent; true when the whole path exists.
bool bCreateFolderTree(const std::string& path);

// The operations left for the next restart, kept in call order by the
// system. A path with a deletion or a move pending (from this run or from an
// earlier one that ended before the restart) must only be changed through
// further pending operations, so that, carried out in order, they end in the
// newest content.
bool HasPendingChange(const std::string& path);
bool HasPendingMoveTo(const std::string& path);
bool ScheduleDelete(const std::string& path);
bool ScheduleMove(const std::string& from, const std::string& to);

}  // namespace package
