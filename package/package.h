#pragma once
// The update package on the device: its state while one package is worked
// on, opening and mapping it, loading its two tables (stage 8), and where
// each of its entries goes.
#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "package/layout.h"
#include "package/minisign.h"
#include "platform/file.h"
#include "platform/mapping.h"

namespace package {

// Owns one mapped view; mapping another view into it unmaps the first.
using FileView = platform::View;

// The package being worked on; one per process, reached through Package().
struct PackageState {
  platform::File file;
  platform::Mapping mapping;
  // Low 32 bits of the file size; bOpenUpdateFile refuses anything larger.
  std::uint32_t packageSize = 0;
  std::uint32_t bodyStart = 0;
  // The header read last; it stays when its package is refused or finished.
  UpdateFileHeader header{};
  ChangeListHead changeHead{};
  // Ends with a backslash.
  std::string DestinationRoot;
  std::uint32_t DataAreaStart = 0;
  std::vector<ChangeRecord> ChangeList;
  // The file records selected for writing, in file-table order.
  std::vector<FileRecord> CopyList;
  std::uint32_t DeleteCount = 0;
  std::uint32_t NewFolderCount = 0;
  std::uint32_t CopyTotal = 0;
  // The read-back block of bCheckWrittenFile, allocated on first use.
  platform::LockedBuffer readBackBuffer;
  // Asked of the system on first use; all ones until then.
  std::uint32_t allocationGranularity = 0xFFFFFFFF;
  // The paths (full, ASCII letters folded) that the next restart deletes or
  // moves something to: read from the system when stage 8 starts a package,
  // then kept up to date by every operation scheduled here.
  bool pendingKnown = false;
  std::unordered_set<std::string> pendingDeletes;
  std::unordered_set<std::string> pendingMoveTargets;
  // A prehashed signature whose hash bVerifyUpdateFile takes in its pass
  // over the package, header included.
  bool signaturePending = false;
  minisign::Signature signature;
  minisign::PublicKey signingKey;
  minisign::FileHash signedHash;
};

PackageState& Package();

// Opens the package, checks its header, reads the change-list head, leaves
// the file at the start of the body for verification and sets DestinationRoot.
bool bOpenUpdateFile(const std::string& path);

// Opens the package again and maps its whole length read-only.
bool bCreateFileMappings(const std::string& path);

// Maps `length` bytes at any `position` of `mapping` into `view` (aligned
// down to the allocation granularity) and returns the address of the byte at
// `position`; null when the view cannot be mapped.
std::uint8_t* byGetFileMap(FileView& view, const platform::Mapping& mapping, platform::Dword access,
                           std::uint32_t position, std::uint32_t length);

// Stage 8: fills ChangeList, CopyList, the three totals and DataAreaStart
// from the mapped package. False when a view failed or the package's tables
// are malformed (then nothing is loaded); records that are malformed on
// their own are logged and skipped.
bool bLoadPackageTables();

void BuildDestinationRoot();

// Whether packages of `type` go into a folder named by their Name below the
// type's location (icons, languages, maps, product configuration, voices).
bool NameIsFolder(std::uint32_t type);

struct DestinationPath {
  std::string fullPath;
  std::string leafName;
};

DestinationPath BuildDestinationPath(const std::string& recordPath);

void EnsureTrailingBackslash(std::string& text);

}  // namespace package
