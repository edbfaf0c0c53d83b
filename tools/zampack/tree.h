#pragma once
// Release trees on the release engineer's machine: what a tree holds in the
// device's terms, and what turns one tree into another.
#include <cstdint>
#include <string>
#include <vector>

namespace zampack {

struct TreeEntry {
  std::string path;  // device form: "\sub\name", 8-bit
  std::string hostPath;
  bool isFolder = false;
  std::uint32_t attributes = 0;
  std::uint64_t size = 0;
};

// Every file and folder under `root`, parents before children, names in
// byte order at each level. A symbolic link to a file stands for that file;
// a link to a folder, a loop, a broken link, a name the device cannot hold
// and every file-system error end the scan with a message naming the path.
bool ScanTree(const std::string& root, std::vector<TreeEntry>* entries, std::string* error);

// One record of a package that turns OLD into NEW.
struct PlannedChange {
  TreeEntry entry;
  bool added = false;
  bool changed = false;
  bool removed = false;
  // Changed although the content is the same: only the attributes differ.
  bool attributesOnly = false;
};

// The changes that make a device holding `oldTree` hold `newTree`: additions
// and changes first, in the new tree's order, then removals (a removed folder
// once, with all below it). Names compare without regard to ASCII letter
// case, as on the device.
bool PlanDiff(const std::vector<TreeEntry>& oldTree, const std::vector<TreeEntry>& newTree,
              std::vector<PlannedChange>* plan, std::string* error);

// Whether two host files hold the same bytes; false with the path and the
// system's reason in `error` when one cannot be read.
bool SameContent(const std::string& a, const std::string& b, std::uint64_t size, bool* same, std::string* error);

}  // namespace zampack
