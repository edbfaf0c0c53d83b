#include "tools/zampack/build.h"

namespace zampack {

std::vector<PlannedChange> AddEverything(const std::vector<TreeEntry>& tree) {
  std::vector<PlannedChange> plan;
  for (const TreeEntry& entry : tree) {
    PlannedChange change;
    change.entry = entry;
    change.added = true;
    plan.push_back(change);
  }
  return plan;
}

BuildResult AddPlan(const std::vector<PlannedChange>& plan, int level, unsigned workers,
                    const ProgressCallback& progress, PackageImage* image, Totals* totals, std::string* error) {
  std::vector<Source> sources;
  std::vector<std::size_t> delivered;
  for (const PlannedChange& change : plan) {
    const TreeEntry& entry = change.entry;
    package::ChangeRecord record{};
    if (!package::SetRecordPath(record.Path, entry.path)) {
      *error = entry.hostPath + ": its device path " + entry.path + " is longer than 259 characters";
      return BuildResult::Refused;
    }
    record.IsFolder = entry.isFolder ? 1 : 0;
    record.IsAdded = change.added ? 1 : 0;
    record.IsChanged = change.changed ? 1 : 0;
    record.IsRemoved = change.removed ? 1 : 0;
    image->changes.push_back(record);
    if (entry.isFolder) {
      totals->foldersAdded += change.added ? 1 : 0;
      totals->foldersRemoved += change.removed ? 1 : 0;
      continue;
    }
    totals->filesAdded += change.added ? 1 : 0;
    totals->filesChanged += change.changed ? 1 : 0;
    totals->attributesOnly += change.attributesOnly ? 1 : 0;
    totals->filesRemoved += change.removed ? 1 : 0;
    if (change.removed) continue;
    if (entry.size > 0xFFFFFFFFull) {
      *error = entry.hostPath + ": too large for a package (4 GiB or more)";
      return BuildResult::Refused;
    }
    DeliveredFile file;
    package::SetRecordPath(file.record.Path, entry.path);
    file.record.Attributes = entry.attributes;
    file.record.Size = static_cast<std::uint32_t>(entry.size);
    file.autoSize = false;
    file.haveStream = true;
    delivered.push_back(image->files.size());
    image->files.push_back(std::move(file));
    sources.push_back({entry.hostPath, entry.size});
    totals->unpacked += entry.size;
  }
  std::vector<std::string> streams;
  if (!CompressSources(sources, level, workers, progress, &streams, error)) return BuildResult::CannotRead;
  for (std::size_t i = 0; i < streams.size(); ++i) {
    totals->stored += streams[i].size();
    image->files[delivered[i]].stream = std::move(streams[i]);
  }
  return BuildResult::Done;
}

}  // namespace zampack
