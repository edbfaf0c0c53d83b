#include "package/package.h"

#include <unordered_map>

#include "app/progress_window.h"
#include "app/run_log.h"
#include "app/run_state.h"
#include "package/test_support.h"
#include "platform/text.h"
#include "version/package_type.h"

namespace package {
namespace {

PackageState g_package;

// CreateFile's FILE_FLAG_RANDOM_ACCESS: the tables are read out of order.
constexpr platform::Dword kFlagRandomAccess = 0x10000000;
constexpr std::size_t kMaxPath = 259;
constexpr std::uint64_t kMaxPackageSize = 0xFFFFFFFF;

platform::File OpenPackage(const std::string& path) {
  return platform::OpenFile(path, platform::kGenericRead, platform::kShareRead, platform::Disposition::OpenExisting,
                            kFlagRandomAccess);
}

// Reads 468 bytes over the header in memory, so that a short read leaves the
// header holding what was read last.
bool ReadHeader(platform::File& file, UpdateFileHeader* header) {
  std::uint8_t bytes[kHeaderSize];
  EncodeHeader(*header, bytes);
  platform::Dword read = 0;
  bool ok = platform::ReadFromFile(file, bytes, kHeaderSize, &read);
  DecodeHeader(bytes, header);
  return ok && read == kHeaderSize;
}

bool Refuse(PackageState& state) {
  state.file.Close();
  return false;
}

// The bytes [position, position + length) lie inside the package.
bool Fits(std::uint64_t position, std::uint64_t length, std::uint32_t packageSize) {
  return position <= packageSize && length <= packageSize - position;
}

// Takes change records from the mapped change list into ChangeList,
// skipping those whose path is unterminated, would leave the destination or
// gives a destination too long for the device.
void LoadChangeList(PackageState& state, const std::uint8_t* bytes, std::uint32_t length) {
  state.ChangeList.reserve(length / kChangeRecordSize);
  std::string path;
  for (std::uint32_t done = 0; done < length;) {
    ChangeRecord record;
    DecodeChangeRecord(bytes + done, &record);
    std::uint32_t index = done / kChangeRecordSize;
    done += kChangeRecordSize;
    app::ShowProgress(done);
    if (!RecordPathText(record.Path, &path)) {
      app::LogMessage("ERROR: bLoadPackageTables: change record %u has no terminated path; skipped.\r\n", index);
      continue;
    }
    if (const char* fault = RecordPathFault(path)) {
      app::LogMessage("ERROR: bLoadPackageTables: change record path \"%s\" %s; skipped.\r\n", path.c_str(), fault);
      continue;
    }
    if (BuildDestinationPath(path).fullPath.size() > kMaxPath) {
      app::LogMessage("ERROR: bLoadPackageTables: destination of \"%s\" is longer than 259 characters; skipped.\r\n",
                      path.c_str());
      continue;
    }
    if (record.IsRemoved != 0 || (record.IsChanged != 0 && record.IsFolder == 0)) ++state.DeleteCount;
    if (record.IsAdded != 0 && record.IsFolder != 0) ++state.NewFolderCount;
    state.ChangeList.push_back(record);
  }
}

// Selects the file records that the first change record of the same path
// (ASCII case-insensitive) marks as added or changed. Every change record
// path was checked on loading, so a selected record's path is sound too.
void SelectFiles(PackageState& state, const std::uint8_t* bytes, std::uint32_t length, std::uint32_t dataAreaStart) {
  std::unordered_map<std::string, const ChangeRecord*> firstByPath;
  firstByPath.reserve(state.ChangeList.size());
  std::string path;
  for (const ChangeRecord& change : state.ChangeList) {
    RecordPathText(change.Path, &path);
    firstByPath.try_emplace(FoldPath(path), &change);
  }
  for (std::uint32_t done = 0; done < length;) {
    FileRecord record;
    DecodeFileRecord(bytes + done, &record);
    std::uint32_t index = done / kFileRecordSize;
    done += kFileRecordSize;
    app::ShowProgress(done);
    if (!RecordPathText(record.Path, &path)) {
      app::LogMessage("ERROR: bLoadPackageTables: file record %u has no terminated path; skipped.\r\n", index);
      continue;
    }
    auto match = firstByPath.find(FoldPath(path));
    if (match == firstByPath.end()) continue;
    const ChangeRecord& change = *match->second;
    if (change.IsFolder != 0 || (change.IsAdded == 0 && change.IsChanged == 0)) continue;
    // Only the body is covered by the checksum: a stream in the header
    // could be changed after the package was sealed.
    std::uint64_t position = StreamPosition(record, dataAreaStart);
    if (record.Size != 0 && (position < kHeaderSize || !Fits(position, record.StoredSize, state.packageSize))) {
      app::LogMessage(
          "ERROR: bLoadPackageTables: stream of \"%s\" (%u bytes at %llu) lies outside the package body; skipped.\r\n",
          path.c_str(), record.StoredSize, static_cast<unsigned long long>(position));
      continue;
    }
    state.CopyTotal += record.Size;
    state.CopyList.push_back(record);
  }
}

// Tables that cannot be read whole refuse the whole package: what was
// already loaded is dropped, so that no stage deletes what nothing would
// replace.
bool DropTables(PackageState& state) {
  state.ChangeList.clear();
  state.CopyList.clear();
  state.DeleteCount = 0;
  state.NewFolderCount = 0;
  state.CopyTotal = 0;
  return false;
}

bool ViewFailed(PackageState& state, const char* what) {
  app::LogMessage("ERROR: bLoadPackageTables: byGetFileMap() failed with error %lu for the %s.\r\n",
                  static_cast<unsigned long>(platform::LastError()), what);
  return DropTables(state);
}

}  // namespace

PackageState& Package() { return g_package; }

void ResetPackageState() { g_package = PackageState{}; }

bool bOpenUpdateFile(const std::string& path) {
  PackageState& state = g_package;
  state.file = OpenPackage(path);
  if (!state.file.IsValid()) return false;
  if (!ReadHeader(state.file, &state.header)) return Refuse(state);
  if (!HasIdentifier(state.header) || state.header.AppIndex != 0 || state.header.PackageType > version::UNKNOWN) {
    return Refuse(state);
  }

  std::uint64_t size = 0;
  if (!platform::FileSize(state.file, &size)) return Refuse(state);
  // Below the change-list head there is no change list to bound, and every
  // position in a package is 32 bits wide.
  if (size < kChangeListStart) {
    app::LogMessage("ERROR: bOpenUpdateFile: package of %llu bytes is too short for its change-list head.\r\n",
                    static_cast<unsigned long long>(size));
    return Refuse(state);
  }
  if (size > kMaxPackageSize) {
    app::LogMessage("ERROR: bOpenUpdateFile: package of %llu bytes is not below 4 GiB.\r\n",
                    static_cast<unsigned long long>(size));
    return Refuse(state);
  }
  state.packageSize = static_cast<std::uint32_t>(size);
  state.bodyStart = kHeaderSize;

  std::uint8_t head[kChangeHeadSize] = {};
  platform::ReadFromFile(state.file, head, kChangeHeadSize, nullptr);
  DecodeChangeHead(head, &state.changeHead);
  platform::SeekFile(state.file, kHeaderSize, platform::SeekFrom::Begin, nullptr);

  // The package name becomes a folder below the location path; it must not
  // climb out of it.
  std::string name = platform::WideToNarrow(HeaderText(state.header.Name));
  if (NameIsFolder(state.header.PackageType) && !name.empty() && !IsSafeRecordPath(name)) {
    app::LogMessage("ERROR: bOpenUpdateFile: package name \"%s\" %s.\r\n", name.c_str(),
                    std::string(RecordPathFault(name)) == "names a device" ? "names a device" : "leaves the location path");
    return Refuse(state);
  }
  BuildDestinationRoot();
  return true;
}

bool bCreateFileMappings(const std::string& path) {
  PackageState& state = g_package;
  state.file = OpenPackage(path);
  if (!state.file.IsValid()) {
    state.mapping.Close();
    return false;
  }
  state.mapping = platform::CreateMapping(state.file, platform::kPageReadOnly, state.packageSize);
  if (!state.mapping.IsValid()) {
    state.file.Close();
    return false;
  }
  return true;
}

std::uint8_t* byGetFileMap(FileView& view, const platform::Mapping& mapping, platform::Dword access,
                           std::uint32_t position, std::uint32_t length) {
  view.Unmap();
  if (!mapping.IsValid()) return nullptr;
  PackageState& state = g_package;
  if (state.allocationGranularity == 0xFFFFFFFF) state.allocationGranularity = platform::AllocationGranularity();
  std::uint32_t unit = state.allocationGranularity;
  std::uint32_t inner = position > unit ? position % unit : position;
  // In 64 bits: a length near 4 GiB plus the inner offset must not wrap to a
  // short view.
  view = platform::MapView(mapping, access, position - inner, static_cast<std::uint64_t>(length) + inner);
  if (!view.IsMapped()) return nullptr;
  return view.base() + inner;
}

bool bLoadPackageTables() {
  PackageState& state = g_package;
  state.pendingKnown = false;
  state.DeleteCount = 0;
  state.NewFolderCount = 0;
  std::uint32_t changeLength = state.changeHead.ChangeListLength;
  if (!Fits(kChangeListStart, changeLength, state.packageSize)) {
    app::LogMessage("ERROR: bLoadPackageTables: change list of %u bytes runs past the end of the package (%u bytes).\r\n",
                    changeLength, state.packageSize);
    return false;
  }
  if (changeLength % kChangeRecordSize != 0) {
    app::LogMessage("ERROR: bLoadPackageTables: change list of %u bytes is not a whole number of records.\r\n",
                    changeLength);
    return false;
  }

  FileView view;
  const std::uint8_t* changes = byGetFileMap(view, state.mapping, platform::kFileMapRead, kChangeListStart, changeLength);
  if (changes == nullptr) return ViewFailed(state, "change list");
  app::SetProgressTotal(changeLength);
  app::ShowProgress(0);
  LoadChangeList(state, changes, changeLength);

  std::uint64_t tablePosition = static_cast<std::uint64_t>(kHeaderSize) + state.header.FileTableOffset;
  if (!Fits(tablePosition, 4, state.packageSize)) {
    app::LogMessage("ERROR: bLoadPackageTables: file table offset %u lies outside the package (%u bytes).\r\n",
                    state.header.FileTableOffset, state.packageSize);
    return DropTables(state);
  }
  const std::uint8_t* lengthField =
      byGetFileMap(view, state.mapping, platform::kFileMapRead, static_cast<std::uint32_t>(tablePosition), 4);
  if (lengthField == nullptr) return ViewFailed(state, "file table length");
  std::uint32_t tableLength = ReadUint32(lengthField);
  if (!Fits(tablePosition + 4, tableLength, state.packageSize)) {
    app::LogMessage("ERROR: bLoadPackageTables: file table of %u bytes runs past the end of the package (%u bytes).\r\n",
                    tableLength, state.packageSize);
    return DropTables(state);
  }
  if (tableLength % kFileRecordSize != 0) {
    app::LogMessage("ERROR: bLoadPackageTables: file table of %u bytes is not a whole number of records.\r\n",
                    tableLength);
    return DropTables(state);
  }
  std::uint32_t dataAreaStart = static_cast<std::uint32_t>(tablePosition + 4 + tableLength);

  // An empty table at the very end of the package has no byte to map.
  const std::uint8_t* files = nullptr;
  if (tableLength != 0) {
    files = byGetFileMap(view, state.mapping, platform::kFileMapRead, static_cast<std::uint32_t>(tablePosition + 4),
                         tableLength);
    if (files == nullptr) return ViewFailed(state, "file table");
  }
  state.CopyTotal = 0;
  app::SetProgressTotal(tableLength);
  app::ShowProgress(0);
  SelectFiles(state, files, tableLength, dataAreaStart);
  state.DataAreaStart = dataAreaStart;
  view.Unmap();
  return true;
}

bool NameIsFolder(std::uint32_t type) {
  return type == version::ICONS || type == version::LANGUAGE_PACKAGE || type == version::MAP ||
         type == version::PRODUCT_CONFIG || type == version::VOICE;
}

void BuildDestinationRoot() {
  PackageState& state = g_package;
  std::uint32_t type = state.header.PackageType;
  state.DestinationRoot = type < version::kPackageTypeCount ? app::Run().LocationPaths[type] : std::string();
  if (NameIsFolder(type)) {
    EnsureTrailingBackslash(state.DestinationRoot);
    state.DestinationRoot += platform::WideToNarrow(HeaderText(state.header.Name));
  }
  EnsureTrailingBackslash(state.DestinationRoot);
}

DestinationPath BuildDestinationPath(const std::string& recordPath) {
  const std::string& root = g_package.DestinationRoot;
  std::size_t skip = (!root.empty() && root.back() == '\\' && !recordPath.empty() && recordPath[0] == '\\') ? 1 : 0;
  std::string adjusted = recordPath.substr(skip);
  std::size_t cut = adjusted.rfind('\\');
  DestinationPath result;
  result.leafName = cut == std::string::npos ? adjusted : adjusted.substr(cut + 1);
  result.fullPath = root + adjusted;
  return result;
}

void EnsureTrailingBackslash(std::string& text) {
  if (text.empty() || text.back() != '\\') text += '\\';
}

}  // namespace package
