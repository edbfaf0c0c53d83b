#include "package/extraction.h"

#include <zlib.h>

#include <algorithm>

#include "app/messages.h"
#include "app/progress_window.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "package/folder_stages.h"
#include "package/package.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/mapping.h"
#include "platform/restart.h"

namespace package {
namespace {

constexpr int kAttempts = 30;
constexpr platform::Dword kRetryPauseMs = 50;
constexpr std::uint32_t kCheckBlock = 4096;
constexpr std::size_t kMaxPath = 259;

bool EqualsIgnoreCase(const std::string& a, const std::string& b) { return FoldPath(a) == FoldPath(b); }

// An installer is an ".msi" at the top of the destination root.
bool IsTopLevelInstaller(const std::string& recordPath) {
  if (recordPath.size() < 4 || recordPath.find('\\', 1) != std::string::npos) return false;
  return FoldPath(recordPath.substr(recordPath.size() - 4)) == ".msi";
}

// Installers are run after the last package, from their own folder, so each
// is kept by its full path: a replacement file's "Tmp\..." is resolved
// against the working directory it was written in.
void NoteInstaller(const std::string& written) {
  std::string full;
  if (!platform::FullPath(written, &full)) full = written;
  std::vector<std::string>& installers = app::Run().Installers;
  bool known = std::any_of(installers.begin(), installers.end(),
                           [&](const std::string& path) { return EqualsIgnoreCase(path, full); });
  if (!known) installers.push_back(full);
}

// The next name of the replacement search: ...a to ...z, then ...za.
void NextReplacementName(std::string& name) {
  if (name.back() == 'z') {
    name += 'a';
  } else {
    ++name.back();
  }
}

// Creates the first free replacement file Tmp\ + leaf + "a", "b", ... The
// search ends when a name is taken for any reason other than an existing
// file, or when the next name no longer fits the device's paths.
platform::File CreateReplacement(const std::string& leaf, std::string* name) {
  bCreateFolderTree(TempFolder);
  *name = std::string(TempFolder) + leaf + "a";
  for (;;) {
    platform::File file = platform::OpenFile(*name, platform::kGenericRead | platform::kGenericWrite,
                                             platform::kShareNone, platform::Disposition::CreateNew,
                                             platform::kAttributeNormal);
    if (file.IsValid()) return file;
    platform::Dword error = platform::LastError();
    std::string next = *name;
    NextReplacementName(next);
    std::string full;
    bool fits = platform::FullPath(next, &full) && full.size() <= kMaxPath;
    if ((error != platform::kErrorFileExists && error != platform::kErrorAlreadyExists) || !fits) {
      app::LogMessage("ERROR: bCopyFile() could not create a replacement file for \"%s\" (error %lu).\r\n",
                      leaf.c_str(), static_cast<unsigned long>(error));
      return platform::File();
    }
    *name = next;
  }
}

// An existing destination is opened without truncating it: its old content
// stays until the new content has been given room. `created` says whether
// the open made the file.
platform::File OpenDestination(const std::string& path, bool* created) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead | platform::kGenericWrite,
                                           platform::kShareNone, platform::Disposition::OpenAlways,
                                           platform::kAttributeNormal);
  *created = file.IsValid() && platform::LastError() != platform::kErrorAlreadyExists;
  return file;
}

// Sets the file's length to `size`.
bool SetLength(platform::File& file, std::uint64_t size) {
  return platform::SeekFile(file, static_cast<std::int64_t>(size), platform::SeekFrom::Begin, nullptr) &&
         platform::SetFileEnd(file);
}

std::string ParentFolder(const std::string& path) {
  std::size_t cut = path.rfind('\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool IsFolder(const std::string& path) {
  platform::Dword attributes = platform::FileAttributes(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttributeDirectory) != 0;
}

// A folder that stage 7 could not create is moved into place at the restart;
// a file moved into it afterwards finds it there.
bool FolderArrivesAtRestart(const std::string& folder) { return HasPendingMoveTo(folder); }

// Opens the destination, creating its missing folders first when that is
// why it cannot be opened; a destination that stays closed only for being in
// use is left to a replacement file. False, with the error logged, when the
// destination's folder neither exists nor arrives at the restart: a move
// into it would fail there and lose the file.
bool OpenOrPlace(const std::string& destination, platform::File* output, bool* created) {
  // Written now, it would be deleted or overwritten by what waits for the restart.
  if (HasPendingChange(destination)) return true;
  *output = OpenDestination(destination, created);
  if (output->IsValid()) return true;
  platform::Dword error = platform::LastError();
  std::string folder = ParentFolder(destination);
  if (folder.empty() || IsFolder(folder)) return true;
  if (error == platform::kErrorPathNotFound && bCreateFolderTree(folder)) {
    *output = OpenDestination(destination, created);
    if (output->IsValid() || IsFolder(folder)) return true;
  }
  error = platform::LastError();
  if (IsFolder(folder) || FolderArrivesAtRestart(folder)) return true;
  app::LogMessage("ERROR: bCopyFile() cannot create the folder \"%s\" for \"%s\" (error %lu).\r\n", folder.c_str(),
                  destination.c_str(), static_cast<unsigned long>(error));
  return false;
}

// Inflates the record's stream into `output` (exactly `Size` bytes); false,
// with the error logged, when the stream cannot be read or does not inflate
// to exactly that length.
bool InflateRecord(const FileRecord& record, const std::string& recordPath, std::uint8_t* output) {
  PackageState& state = Package();
  std::uint64_t position = StreamPosition(record, state.DataAreaStart);
  FileView packageView;
  const std::uint8_t* stream = nullptr;
  if (position + record.StoredSize <= state.packageSize) {
    stream = byGetFileMap(packageView, state.mapping, platform::kFileMapRead, static_cast<std::uint32_t>(position),
                          record.StoredSize);
  } else {
    platform::SetLastErrorCode(platform::kErrorAccessDenied);
  }
  if (stream == nullptr) {
    app::LogMessage("ERROR: byGetFileMap() failed with error %lu for \"%s\".\r\n",
                    static_cast<unsigned long>(platform::LastError()), recordPath.c_str());
    app::ShowMessage(9);
    return false;
  }
  uLongf length = record.Size;
  int result = uncompress(output, &length, stream, record.StoredSize);
  if (result != Z_OK || length != record.Size) {
    app::LogMessage("ERROR: uncompress() failed with %d for \"%s\" (%lu of %u bytes).\r\n", result,
                    recordPath.c_str(), static_cast<unsigned long>(length), record.Size);
    return false;
  }
  return true;
}

}  // namespace

bool bCopyFiles() {
  PackageState& state = Package();
  app::SetProgressTotal(state.CopyTotal);
  app::ShowProgress(0);
  std::uint32_t total = 0;
  for (const FileRecord& record : state.CopyList) {
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
      if (bCopyFile(record)) break;
      if (attempt < kAttempts) platform::WaitMilliseconds(kRetryPauseMs);
    }
    total += record.Size;
    app::ShowProgress(total);
    app::PumpMessages();
  }
  return true;
}

bool bCopyFile(const FileRecord& record) {
  std::string recordPath;
  RecordPathText(record.Path, &recordPath);
  DestinationPath destination = BuildDestinationPath(recordPath);
  std::string written = destination.fullPath;

  platform::SetAttributes(destination.fullPath, platform::kAttributeNormal);
  platform::File output;
  bool created = false;
  if (!OpenOrPlace(destination.fullPath, &output, &created)) return false;
  bool replacement = !output.IsValid();
  if (replacement) {
    output = CreateReplacement(destination.leafName, &written);
    if (!output.IsValid()) return false;
    created = true;
  }

  // A longer file gets its length from the mapping, which allocates it and
  // fails on a full disk before a byte of the old content is touched; a
  // shorter one is cut to its length once the new content is in.
  std::uint64_t oldSize = 0;
  bool done = false;
  if (!platform::FileSize(output, &oldSize)) {
    app::LogMessage("ERROR: bCopyFile() cannot read the length of \"%s\" (error %lu).\r\n", written.c_str(),
                    static_cast<unsigned long>(platform::LastError()));
  } else if (record.Size == 0) {
    done = true;
  } else {
    platform::Mapping mapping = platform::CreateMapping(output, platform::kPageReadWrite, record.Size);
    FileView view;
    std::uint8_t* target =
        mapping.IsValid() ? byGetFileMap(view, mapping, platform::kFileMapWrite, 0, 0) : nullptr;
    if (target != nullptr) {
      done = InflateRecord(record, recordPath, target);
      if (done && IsTopLevelInstaller(recordPath)) NoteInstaller(written);
    } else {
      // Typically a full disk: the file's clusters are allocated when the
      // mapping sets its length. The attempt is repeated by the retry rule.
      app::LogMessage("ERROR: bCopyFile() cannot map \"%s\" for writing (error %lu).\r\n", written.c_str(),
                      static_cast<unsigned long>(platform::LastError()));
    }
  }
  if (done && oldSize > record.Size && !SetLength(output, record.Size)) {
    app::LogMessage("ERROR: bCopyFile() cannot set the length of \"%s\" (error %lu).\r\n", written.c_str(),
                    static_cast<unsigned long>(platform::LastError()));
    done = false;
  }
  output.Close();
  // A file this attempt made and could not fill is not left behind empty.
  if (!done && created) {
    platform::RemoveFile(written);
    return false;
  }
  platform::SetAttributes(written, record.Attributes);

  if (done && record.Size != 0) done = bCheckWrittenFile(written);
  if (replacement && done) {
    ScheduleDelete(destination.fullPath);
    if (!ScheduleMove(written, destination.fullPath)) {
      app::LogMessage("MoveFileEx(\"%s\", \"%s\", MOVEFILE_DELAY_UNTIL_REBOOT) failed with error %lu.\r\n",
                      written.c_str(), destination.fullPath.c_str(), static_cast<unsigned long>(platform::LastError()));
    }
    ScheduleDelete(written);
    app::Run().bRebootRequired = true;
  }
  return done;
}

bool bCheckWrittenFile(const std::string& path) {
  platform::File file = platform::OpenFile(path, platform::kGenericRead, platform::kShareNone,
                                           platform::Disposition::OpenExisting, platform::kFlagNoBuffering);
  if (!file.IsValid()) return false;
  platform::LockedBuffer& buffer = Package().readBackBuffer;
  if (!buffer.IsValid()) {
    buffer = platform::AllocateLockedBuffer(kCheckBlock);
    if (!buffer.IsValid()) return false;
    // Unbuffered reads need the alignment, not the lock: without it the
    // block may be paged out between checks, which costs time only.
    if (!buffer.locked()) {
      app::LogMessage("bCheckWrittenFile: the read-back buffer could not be locked in memory (error %lu); using it "
                      "unlocked.\r\n",
                      static_cast<unsigned long>(platform::LastError()));
    }
  }
  std::fill(buffer.data(), buffer.data() + kCheckBlock, 0);
  platform::Dword read = 0;
  platform::ReadFromFile(file, buffer.data(), kCheckBlock, &read);
  file.Close();
  return read > 0 && std::any_of(buffer.data(), buffer.data() + read, [](std::uint8_t b) { return b != 0; });
}

bool bCloseUpdateFile() {
  PackageState& state = Package();
  state.mapping.Close();
  state.file.Close();
  return true;
}

}  // namespace package
