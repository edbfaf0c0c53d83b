#include "tools/zampack/tree.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "package/layout.h"
#include "package/package.h"
#include "platform/file.h"
#include "platform/text.h"
#include "tools/common/escape.h"
#include "tools/zampack/package_image.h"

namespace zampack {
namespace {

namespace fs = std::filesystem;

std::string Reason(const fs::path& path, const std::error_code& code) {
  return HostText(path) + ": " + code.message();
}

// What the device's file system refuses in a name, besides characters
// outside its 8-bit code page.
std::string DeviceNameFault(const std::string& name) {
  for (char c : name) {
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) {
      return "holds a character that Windows does not allow in names (\\ / : * ? \" < > | or a control character)";
    }
  }
  if (name.back() == '.' || name.back() == ' ') return "ends in a dot or a blank, which Windows drops";
  return std::string();
}

bool ScanFolder(const fs::path& folder, const std::string& prefix, std::vector<TreeEntry>* entries,
                std::string* error) {
  std::vector<std::pair<std::string, fs::path>> children;
  std::error_code code;
  fs::directory_iterator it(folder, code);
  for (; !code && it != fs::directory_iterator(); it.increment(code)) {
    fs::path child = it->path();
    std::u8string host = child.filename().u8string();
    std::string utf8(host.begin(), host.end());
    if (!tools::IsUtf8(utf8)) {
      *error = tools::EscapedUtf8(HostText(child)) +
               ": the name is not UTF-8, so the device's name for it is unknown (rename it)";
      return false;
    }
    std::string name = platform::WideToNarrow(platform::Utf8ToWide(utf8.c_str()));
    if (name.empty()) {
      *error = HostText(child) + ": the name has characters outside the device's 8-bit code page (Latin-1)";
      return false;
    }
    std::string fault = DeviceNameFault(name);
    if (!fault.empty()) {
      *error = HostText(child) + ": the name " + fault;
      return false;
    }
    children.emplace_back(name, child);
  }
  if (code) {
    *error = Reason(folder, code);
    return false;
  }
  std::sort(children.begin(), children.end());
  std::map<std::string, std::string> folded;
  for (const auto& [name, child] : children) {
    auto [other, fresh] = folded.emplace(package::FoldPath(name), HostText(child));
    if (!fresh) {
      *error = HostText(child) + ": differs from " + other->second +
               " only in letter case; the device's file system holds one of them";
      return false;
    }
  }
  for (const auto& [name, child] : children) {
    TreeEntry entry;
    entry.path = prefix + "\\" + name;
    entry.hostPath = HostText(child);
    fs::file_status own = fs::symlink_status(child, code);
    fs::file_status target = own;
    if (!code && fs::is_symlink(own)) {
      target = fs::status(child, code);
      if (code) {
        *error = HostText(child) + ": symbolic link that cannot be followed: " + code.message();
        return false;
      }
      if (fs::is_directory(target)) {
        *error = HostText(child) +
                 ": symbolic link to a folder; zampack follows links to files only (copy the folder into the tree, "
                 "or remove the link)";
        return false;
      }
    }
    if (code) {
      *error = Reason(child, code);
      return false;
    }
    entry.isFolder = fs::is_directory(target);
    if (!entry.isFolder && !fs::is_regular_file(target)) {
      *error = HostText(child) + ": neither a file nor a folder (a device, socket or pipe)";
      return false;
    }
    if (!entry.isFolder) {
      entry.size = fs::file_size(child, code);
      if (code) {
        *error = Reason(child, code);
        return false;
      }
    }
    bool readOnly = (target.permissions() & fs::perms::owner_write) == fs::perms::none;
    entry.attributes = readOnly ? platform::kAttributeReadOnly : platform::kAttributeNormal;
    entries->push_back(entry);
    if (entry.isFolder && !ScanFolder(child, entry.path, entries, error)) return false;
  }
  return true;
}

}  // namespace

bool ScanTree(const std::string& root, std::vector<TreeEntry>* entries, std::string* error) {
  std::error_code code;
  fs::file_status status = fs::status(HostPath(root), code);
  if (code) {
    *error = Reason(HostPath(root), code);
    return false;
  }
  if (!fs::is_directory(status)) {
    *error = root + ": not a folder";
    return false;
  }
  return ScanFolder(HostPath(root), "", entries, error);
}

bool SameContent(const std::string& a, const std::string& b, std::uint64_t size, bool* same, std::string* error) {
  HostFile first;
  HostFile second;
  if (!first.Open(a, error) || !second.Open(b, error)) return false;
  constexpr std::size_t kBlock = 1 << 20;
  std::string left(kBlock, '\0');
  std::string right(kBlock, '\0');
  for (std::uint64_t done = 0; done < size;) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, size - done));
    if (!first.Read(left.data(), want, error) || !second.Read(right.data(), want, error)) return false;
    if (std::memcmp(left.data(), right.data(), want) != 0) {
      *same = false;
      return true;
    }
    done += want;
  }
  *same = true;
  return true;
}

bool PlanDiff(const std::vector<TreeEntry>& oldTree, const std::vector<TreeEntry>& newTree,
              std::vector<PlannedChange>* plan, std::string* error) {
  // Keyed on the folded path and the kind: a file that became a folder is
  // removed as a file and added as a folder.
  auto key = [](const TreeEntry& entry) { return package::FoldPath(entry.path) + (entry.isFolder ? "\\" : ""); };
  std::map<std::string, const TreeEntry*> oldByKey;
  std::set<std::string> newKeys;
  for (const TreeEntry& entry : oldTree) oldByKey[key(entry)] = &entry;
  for (const TreeEntry& entry : newTree) newKeys.insert(key(entry));
  // Additions first: where a folder became a file, the file's record must
  // be the first of its path, since the first one decides.
  for (const TreeEntry& entry : newTree) {
    auto old = oldByKey.find(key(entry));
    PlannedChange change;
    change.entry = entry;
    if (old == oldByKey.end()) {
      change.added = true;
      plan->push_back(change);
      continue;
    }
    if (entry.isFolder) continue;
    const TreeEntry& before = *old->second;
    // A file renamed only in letter case is delivered again: stage 6
    // deletes the old name, stage 3 writes the new one.
    bool same = before.size == entry.size;
    if (same && !SameContent(before.hostPath, entry.hostPath, entry.size, &same, error)) return false;
    bool renamed = before.path != entry.path;
    change.attributesOnly = same && !renamed && before.attributes != entry.attributes;
    change.changed = !same || renamed || change.attributesOnly;
    if (change.changed) plan->push_back(change);
  }
  for (const TreeEntry& entry : oldTree) {
    if (newKeys.count(key(entry)) != 0) continue;
    // Below a removed folder the folder's own removal does it all.
    std::size_t cut = entry.path.rfind('\\');
    std::string parent = package::FoldPath(entry.path.substr(0, cut)) + "\\";
    if (cut != 0 && newKeys.count(parent) == 0) continue;
    PlannedChange change;
    change.entry = entry;
    change.removed = true;
    plan->push_back(change);
  }
  return true;
}

}  // namespace zampack
