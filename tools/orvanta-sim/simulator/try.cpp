// try: packages run by the real update tool on a scratch copy of a device,
// and a report of what they did to it and where they do not fit it.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "package/layout.h"
#include "package/package.h"
#include "platform/environment.h"
#include "platform/posix/device_copy.h"
#include "platform/file.h"
#include "platform/restart.h"
#include "platform/terminal.h"
#include "platform/text.h"
#include "tools/common/base_record.h"
#include "tools/common/count.h"
#include "tools/common/escape.h"
#include "tools/common/json.h"
#include "tools/orvanta-sim/commands.h"
#include "tools/orvanta-sim/simulator/device.h"
#include "tools/orvanta-sim/simulator/run_report.h"
#include "version/package_type.h"

namespace orvanta_sim {
namespace {

// The device's 8-bit text of UTF-8 host text; other host bytes (a name in
// another encoding) are kept, shown escaped as \xNN.
std::string DeviceText(const std::string& host) {
  return tools::IsUtf8(host) ? platform::WideToNarrow(platform::Utf8ToWide(host.c_str())) : tools::EscapedUtf8(host);
}

std::string DeviceName(const fs::path& host) { return DeviceText(host.filename().string()); }

// A host path as the simulator takes it: 8-bit text, which it maps to UTF-8.
std::string HostText(const fs::path& host) { return DeviceText(host.string()); }

// The names of an attribute value, "HIDDEN+ARCHIVE", with any other bits in hex.
std::string AttributeText(platform::Dword attributes) {
  static const std::pair<platform::Dword, const char*> kNames[] = {
      {platform::kAttributeReadOnly, "READONLY"},   {platform::kAttributeHidden, "HIDDEN"},
      {platform::kAttributeSystem, "SYSTEM"},       {platform::kAttributeDirectory, "DIRECTORY"},
      {platform::kAttributeArchive, "ARCHIVE"},     {platform::kAttributeNormal, "NORMAL"},
      {platform::kAttributeTemporary, "TEMPORARY"}, {platform::kAttributeReparsePoint, "REPARSE_POINT"}};
  if (attributes == platform::kInvalidAttributes) return "unreadable";
  std::string text;
  for (const auto& [bit, name] : kNames) {
    if ((attributes & bit) == 0) continue;
    text += (text.empty() ? "" : "+") + std::string(name);
    attributes &= ~bit;
  }
  if (attributes != 0) {
    char rest[16];
    std::snprintf(rest, sizeof(rest), "0x%X", static_cast<unsigned>(attributes));
    text += (text.empty() ? "" : "+") + std::string(rest);
  }
  return text.empty() ? "none" : text;
}

// What the try is doing, on one line of the terminal redrawn in place (a
// large release takes a while); nothing when standard error is not a terminal.
void Progress(const std::string& text) {
  static const bool shown = platform::StandardErrorIsTerminal();
  if (!shown) return;
  std::fprintf(stderr, "\r\x1b[Korvanta-sim try: %s", text.c_str());
  if (text.empty()) std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
}

// One file or folder of the device as it was or is.
struct Node {
  std::string device;  // "C:\A\b"
  fs::path relative;   // below the device root
  bool folder = false;
  std::string link;  // what a link names, as it names it
  platform::Dword attributes = 0;  // every attribute the device keeps
  std::uint64_t size = 0;
  fs::file_time_type time;
};
using Snapshot = std::map<std::string, Node>;  // by folded device path

// Every file and folder on the device's drives, leaving out the paths of
// `skipped` (folded; a folder's ends with a backslash and takes what it holds).
Snapshot TakeSnapshot(const fs::path& root, const std::vector<std::string>& skipped) {
  Snapshot nodes;
  std::error_code code;
  for (auto drive = fs::directory_iterator(root, code); !code && drive != fs::directory_iterator();
       drive.increment(code)) {
    std::string letter = drive->path().filename().string();
    if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z') continue;
    auto it = fs::recursive_directory_iterator(drive->path(), code);
    for (; !code && it != fs::recursive_directory_iterator(); it.increment(code)) {
      fs::path relative = it->path().lexically_relative(drive->path());
      std::string device = letter + ":";
      for (const fs::path& part : relative) {
        device += '\\';
        device += DeviceName(part);
      }
      Node node;
      node.device = device;
      node.relative = fs::path(letter) / relative;
      fs::file_status status = it->symlink_status(code);
      node.folder = fs::is_directory(status);
      std::string folded = FoldCase(device) + (node.folder ? "\\" : "");
      bool skip = std::any_of(skipped.begin(), skipped.end(), [&](const std::string& path) {
        return path.back() == '\\' ? folded.rfind(path, 0) == 0 : folded == path;
      });
      if (skip) {
        if (node.folder) it.disable_recursion_pending();
        continue;
      }
      node.attributes = platform::FileAttributes(HostText(it->path()));
      if (fs::is_symlink(status)) {
        node.link = fs::read_symlink(it->path(), code).string();
      } else if (!node.folder) {
        node.size = it->file_size(code);
        node.time = it->last_write_time(code);
      }
      code.clear();
      nodes[FoldCase(device)] = node;
      if (nodes.size() % 500 == 0) Progress("reading the copy: " + tools::Count(nodes.size(), "file and folder", "files and folders"));
    }
  }
  return nodes;
}

// A file or folder whose attributes alone changed.
struct AttributeChange {
  std::string path;
  platform::Dword before = 0;
  platform::Dword after = 0;
};

// Where a package does not fit the device: a code for scripts, the device
// path it concerns and the text for a person.
struct Warning {
  std::string code;
  std::string path;
  std::string text;
};

struct Report {
  std::string device;
  std::string copy;
  std::string language;
  RunReport run;
  std::vector<std::string> added, changed, removed;
  std::vector<AttributeChange> attributesOnly;
  std::vector<platform::PendingOperation> deferred;
  std::vector<std::string> restartFailures;
  std::vector<Warning> warnings;
  std::vector<std::string> notes;
  std::vector<Hold> held;  // files held open during the run, by device path
  // The device's trusted keys; `checks` when it holds a key file.
  bool checks = false;
  std::vector<std::string> deviceKeys;
};

// "C:\x.dll (open for reading, sharing nothing)".
std::string HoldText(const Hold& hold) {
  return platform::NarrowToUtf8(hold.path) +
         (hold.shareRead ? " (open for reading, sharing reading)" : " (open for reading, sharing nothing)");
}

bool SameContent(const fs::path& a, const fs::path& b) { return ReadAll(a) == ReadAll(b); }

void CompareSnapshots(const Snapshot& before, const Snapshot& after, const fs::path& original, const fs::path& copy,
                      Report* report) {
  std::size_t compared = 0;
  for (const auto& [key, node] : after) {
    if (++compared % 500 == 0) Progress("comparing: " + std::to_string(compared) + " of " + std::to_string(after.size()));
    auto old = before.find(key);
    std::string shown = platform::NarrowToUtf8(node.device) + (node.folder ? "\\" : "");
    if (old == before.end() || old->second.folder != node.folder) {
      report->added.push_back(shown);
      continue;
    }
    const Node& was = old->second;
    bool touched = was.size != node.size || was.time != node.time || was.device != node.device;
    // A link is compared by what it names, never by what it leads to.
    bool same = node.folder || (node.link.empty() && was.link.empty()
                                    ? !touched || (was.size == node.size &&
                                                   SameContent(copy / node.relative, original / was.relative))
                                    : node.link == was.link);
    if (!same || was.device != node.device) {
      report->changed.push_back(shown);
    } else if (was.attributes != node.attributes) {
      report->attributesOnly.push_back({shown, was.attributes, node.attributes});
    }
  }
  for (const auto& [key, node] : before) {
    auto now = after.find(key);
    if (now == after.end() || now->second.folder != node.folder) {
      report->removed.push_back(platform::NarrowToUtf8(node.device) + (node.folder ? "\\" : ""));
    }
  }
}

std::string WithBackslash(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

// Where the records of each package meet the device as it was before the run.
// The base record beside a package, when there is one: where the device
// (the copy, before the run) is not the base the package was made against.
// False when there is none.
bool CheckAgainstBase(const std::string& path, const fs::path& copy, Report* report) {
  std::string file = fs::path(path).filename().string();
  std::string text = ReadAll(tools::BasePathOf(path));
  std::error_code code;
  if (text.empty() && !fs::exists(tools::BasePathOf(path), code)) return false;
  tools::BaseRecord base;
  std::string error;
  if (!tools::ParseBase(text, &base, &error)) {
    report->warnings.push_back({"base-unreadable", std::string(),
                                file + ": its base record " + tools::BasePathOf(path) + " cannot be read: " + error});
    return false;
  }
  report->notes.push_back(file + " was made against " + base.tree + " (" + tools::BasePathOf(path) + ")");
  for (const tools::BaseFinding& finding : tools::CheckBase(base, copy)) {
    report->warnings.push_back({finding.code, finding.path, file + ": " + finding.text + " (base " + base.tree + ")"});
  }
  return true;
}

void CheckFit(const std::vector<std::string>& packages, const std::vector<std::string>& locations,
              const Snapshot& before, const fs::path& copy, Report* report) {
  std::set<std::string> made;  // folders the packages create, folded
  for (const std::string& path : packages) {
    // The header and the change list, not the files after them.
    std::string bytes = ReadStart(path, package::kChangeListStart);
    if (bytes.size() == package::kChangeListStart) {
      package::ChangeListHead head;
      package::DecodeChangeHead(reinterpret_cast<const std::uint8_t*>(bytes.data()) + package::kHeaderSize, &head);
      bytes = ReadStart(path, std::uint64_t{package::kChangeListStart} + head.ChangeListLength);
    }
    std::string file = fs::path(path).filename().string();
    PackageReport entry;
    entry.file = file;
    ReadPackageSignature(path, &entry);
    if (!ReadPackageHeader(bytes, &entry) || bytes.size() < package::kChangeListStart) {
      report->run.packages.push_back(entry);
      continue;
    }
    package::UpdateFileHeader header;
    package::DecodeHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), &header);
    package::ChangeListHead head;
    package::DecodeChangeHead(reinterpret_cast<const std::uint8_t*>(bytes.data()) + package::kHeaderSize, &head);
    std::uint32_t type = header.PackageType;
    report->run.packages.push_back(entry);
    if (type >= version::kPackageTypeCount) continue;
    // A base record tells more than the change list: it also knows the bytes.
    bool based = CheckAgainstBase(path, copy, report);
    std::string root = WithBackslash(locations[type]);
    if (package::NameIsFolder(type)) root = WithBackslash(root + platform::WideToNarrow(package::HeaderText(header.Name)));
    // The device makes the package's own folder and its location when they
    // are missing; a folder the package adds counts wherever its record is.
    for (std::size_t cut = root.find('\\'); cut != std::string::npos; cut = root.find('\\', cut + 1)) {
      made.insert(FoldCase(root.substr(0, cut)));
    }
    std::vector<std::pair<package::ChangeRecord, std::string>> records;  // with their paths below the root
    std::uint64_t length = std::min<std::uint64_t>(head.ChangeListLength, bytes.size() - package::kChangeListStart);
    for (std::uint64_t at = 0; at + package::kChangeRecordSize <= length; at += package::kChangeRecordSize) {
      package::ChangeRecord record;
      package::DecodeChangeRecord(
          reinterpret_cast<const std::uint8_t*>(bytes.data()) + package::kChangeListStart + at, &record);
      std::string relative;
      if (!package::RecordPathText(record.Path, &relative) || !package::IsSafeRecordPath(relative)) continue;
      if (record.IsFolder != 0 && record.IsAdded != 0) {
        made.insert(FoldCase(root + (relative.rfind('\\', 0) == 0 ? relative.substr(1) : relative)));
      }
      records.emplace_back(record, relative);
    }
    for (const auto& [record, relative] : records) {
      std::string target = root + (relative.rfind('\\', 0) == 0 ? relative.substr(1) : relative);
      bool exists = before.count(FoldCase(target)) != 0;
      std::string what = file + ": " + platform::NarrowToUtf8(relative);
      if (!based && record.IsAdded == 0 && (record.IsChanged != 0 || record.IsRemoved != 0) && !exists) {
        report->warnings.push_back({"missing-target", platform::NarrowToUtf8(target),
                                    what + " is marked " + (record.IsChanged != 0 ? "changed" : "removed") +
                                   ", but the device has no " + platform::NarrowToUtf8(target) +
                                   " (was the package made against another release?)"});
      }
      if (record.IsFolder != 0 && record.IsAdded != 0) {
        std::string parent = target.substr(0, target.rfind('\\'));
        bool parentThere = before.count(FoldCase(parent)) != 0 || made.count(FoldCase(parent)) != 0;
        if (!parentThere) {
          report->warnings.push_back(
              {"missing-parent", platform::NarrowToUtf8(target),
               what + ": a folder whose parent " + platform::NarrowToUtf8(parent) +
                   " is neither on the device nor made by the package (made against another release?)"});
        }
      }
      if (record.IsFolder == 0 && (record.IsAdded != 0 || record.IsChanged != 0)) {
        for (int other = 0; other < version::kPackageTypeCount; ++other) {
          std::string location = FoldCase(WithBackslash(locations[static_cast<std::size_t>(other)]));
          if (static_cast<std::uint32_t>(other) == type || location.empty() || location.size() <= root.size() ||
              FoldCase(target).rfind(location, 0) != 0) {
            continue;
          }
          report->warnings.push_back({"other-location", platform::NarrowToUtf8(target),
                                      what + " lands in " +
                                          platform::NarrowToUtf8(locations[static_cast<std::size_t>(other)]) +
                                          ", the location of " +
                                          platform::WideToUtf8(version::PackageTypeName(other)) + " packages"});
          break;
        }
      }
    }
  }
}

// The device path a --hold names: a device path as it is, a host path inside
// the device (`original`, canonical) as the same file's device path, which
// the run finds on the copy. Empty for anything else.
std::string HoldPath(const std::string& path, const fs::path& original) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) != 0 && path[1] == ':' && path[2] == '\\') {
    return path;
  }
  std::error_code code;
  fs::path relative = fs::weakly_canonical(fs::absolute(path, code), code).lexically_relative(original);
  if (code || relative.empty() || *relative.begin() == "..") return std::string();
  std::string letter = relative.begin()->string();
  if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z') return std::string();
  std::string device = letter + ":";
  for (auto part = std::next(relative.begin()); part != relative.end(); ++part) device += "\\" + DeviceName(*part);
  return device;
}

// The copy's pending operations name the original's host paths: they are
// moved to the copy, and any outside the device dropped.
void MovePendingOperations(const fs::path& original, const fs::path& copy, Report* report) {
  fs::path list = copy / "sim" / "pending-restart.tsv";
  std::string text = ReadAll(list);
  if (text.empty()) return;
  std::string from = original.string() + "/";
  std::string to = copy.string() + "/";
  std::string moved;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::string rewritten;
    bool inside = true;
    std::size_t field = 0;
    for (std::size_t tab = line.find('\t'); field != std::string::npos; tab = line.find('\t', field)) {
      std::string part = line.substr(field, tab == std::string::npos ? std::string::npos : tab - field);
      if (!rewritten.empty() || field > 0) {
        if (part.rfind(from, 0) == 0) {
          part = to + part.substr(from.size());
        } else {
          inside = false;
        }
      }
      rewritten += (field > 0 ? "\t" : "") + part;
      field = tab == std::string::npos ? std::string::npos : tab + 1;
    }
    if (inside) {
      moved += rewritten + "\n";
    } else if (!line.empty()) {
      report->notes.push_back("left out a pending operation outside the device: " + line);
    }
  }
  // Written anew: the list of a copied device may be a link out of it.
  std::error_code ignored;
  fs::remove(list, ignored);
  std::ofstream(list, std::ios::binary | std::ios::trunc) << moved;
}

void PrintText(const Report& r, int code) {
  std::printf("Tried %s on a copy of %s (the device itself is not changed)\n",
              tools::Count(r.run.packages.size(), "package").c_str(), r.device.c_str());
  std::printf("Counts: %zu added, %zu changed, %zu attribute-only, %zu removed, %zu deferred, %s, %s\n",
              r.added.size(), r.changed.size(), r.attributesOnly.size(), r.removed.size(), r.deferred.size(),
              tools::Count(r.run.errors.size(), "error").c_str(), tools::Count(r.warnings.size(), "warning").c_str());
  for (const std::string& note : r.notes) std::printf("note: %s\n", note.c_str());
  std::string keys;
  for (const std::string& key : r.deviceKeys) keys += " " + key;
  if (r.checks) {
    std::printf("The device runs only signed packages; its keys:%s\n", keys.empty() ? " none valid" : keys.c_str());
  } else {
    std::printf("The device holds no keys: it does not check signatures\n");
  }
  PrintPackages(r.run.packages, r.run.errors.size());
  std::vector<std::string> held;
  for (const Hold& hold : r.held) held.push_back(HoldText(hold));
  PrintList("Held open during the run", held);
  PrintList("Added", r.added);
  PrintList("Changed", r.changed);
  std::vector<std::string> attributesOnly;
  for (const AttributeChange& change : r.attributesOnly) {
    attributesOnly.push_back(change.path + " (" + AttributeText(change.before) + " -> " + AttributeText(change.after) +
                             ")");
  }
  PrintList("Changed in attributes only", attributesOnly);
  PrintList("Removed", r.removed);
  std::vector<std::string> deferred;
  for (const platform::PendingOperation& op : r.deferred) {
    deferred.push_back(platform::NarrowToUtf8(OperationText(op)));
  }
  PrintList("Waited for the restart", deferred);
  PrintList("Failed at the restart", r.restartFailures);
  PrintList("ERROR lines in the run log", r.run.errors);
  std::printf("Final decision: %s\n", r.run.decision.empty() ? "none logged" : r.run.decision.c_str());
  for (const std::string& line : r.run.decisionLines) std::printf("  %s\n", line.c_str());
  std::vector<std::string> warnings;
  for (const Warning& warning : r.warnings) warnings.push_back(warning.text);
  PrintList("Warnings", warnings);
  std::printf("%s (exit code %d)\n", code == 0 ? "Clean: no ERROR line and no warning" : "Not clean", code);
}

std::string WarningsJson(const std::vector<Warning>& warnings) {
  std::string out = "[";
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    out += std::string(i == 0 ? "" : ", ") + "{\"code\": " + tools::JsonString(warnings[i].code) + ", \"path\": " +
           tools::JsonString(warnings[i].path) + ", \"text\": " + tools::JsonString(warnings[i].text) + "}";
  }
  return out + "]";
}

std::string HeldJson(const std::vector<Hold>& held) {
  std::string out = "[";
  for (std::size_t i = 0; i < held.size(); ++i) {
    out += std::string(i == 0 ? "" : ", ") + "{\"path\": " + tools::JsonString(platform::NarrowToUtf8(held[i].path)) +
           ", \"share\": " + (held[i].shareRead ? "\"read\"" : "\"none\"") + "}";
  }
  return out + "]";
}

void PrintJson(const Report& r, int code) {
  using tools::JsonString;
  std::string out = "{\n  \"device\": " + JsonString(r.device) + ",\n  \"language\": " + JsonString(r.language) +
                    ",\n  \"counts\": {\"added\": " + std::to_string(r.added.size()) +
                    ", \"changed\": " + std::to_string(r.changed.size()) +
                    ", \"attributeOnly\": " + std::to_string(r.attributesOnly.size()) +
                    ", \"removed\": " + std::to_string(r.removed.size()) +
                    ", \"deferred\": " + std::to_string(r.deferred.size()) +
                    ", \"errors\": " + std::to_string(r.run.errors.size()) +
                    ", \"warnings\": " + std::to_string(r.warnings.size()) + "}" +
                    ",\n  \"checksSignatures\": " + (r.checks ? "true" : "false") +
                    ",\n  \"deviceKeys\": " + JsonList(r.deviceKeys) +
                    ",\n  \"packages\": " + PackagesJson(r.run.packages);
  out += ",\n  \"added\": " + JsonList(r.added) + ",\n  \"changed\": " + JsonList(r.changed) +
         ",\n  \"attributesOnly\": [";
  for (std::size_t i = 0; i < r.attributesOnly.size(); ++i) {
    const AttributeChange& change = r.attributesOnly[i];
    out += std::string(i == 0 ? "" : ", ") + "{\"path\": " + JsonString(change.path) + ", \"before\": " +
           JsonString(AttributeText(change.before)) + ", \"after\": " + JsonString(AttributeText(change.after)) + "}";
  }
  out += "],\n  \"removed\": " + JsonList(r.removed) + ",\n  \"deferred\": [";
  for (std::size_t i = 0; i < r.deferred.size(); ++i) {
    out += std::string(i == 0 ? "" : ", ") + OperationJson(r.deferred[i]);
  }
  out += "],\n  \"restartFailures\": " + JsonList(r.restartFailures) + ",\n  \"errors\": " + JsonList(r.run.errors) +
         ",\n  \"decision\": " + JsonString(r.run.decision) + ",\n  \"decisionLines\": " + JsonList(r.run.decisionLines) +
         ",\n  \"warnings\": " + WarningsJson(r.warnings) + ",\n  \"notes\": " + JsonList(r.notes) + ",\n  \"held\": " + HeldJson(r.held) +
         ",\n  \"exitCode\": " + std::to_string(code) + "\n}\n";
  std::fputs(out.c_str(), stdout);
}

int Refuse(const std::string& problem) {
  Progress("");
  std::fprintf(stderr, "orvanta-sim try: %s\n", problem.c_str());
  return 2;
}

// The scratch copy ends with the command, however the command ends (an
// error, an exception, a signal): the programs the run started on it are
// ended and, unless it is kept, it is removed.
struct ScratchCopy {
  fs::path path;
  bool keep = false;
  bool isDevice = false;  // ORVANTA_DEVICE_ROOT names it: its programs may run
  ScratchCopy() = default;
  ScratchCopy(const ScratchCopy&) = delete;
  ScratchCopy& operator=(const ScratchCopy&) = delete;
  ~ScratchCopy() { End(); }
  void End();
};

void ScratchCopy::End() {
  if (path.empty()) return;
  if (isDevice) {
    EndRunUpdate();
    EndServices();
  }
  std::error_code ignored;
  if (!keep) fs::remove_all(path, ignored);
  path.clear();
}

// A signal (Ctrl-C, a kill) is only noted where it comes: the command may
// be anywhere, in the middle of a copy or a memory allocation. A watcher
// stops the run under way, so that the command's waits return, and the
// command ends at its next step, where nothing is half done.
std::atomic<int> g_signal{0};

void NoteSignal(int signal) { g_signal = signal; }

struct SignalWatch {
  std::atomic<bool> done{false};
  std::thread watcher{[this] {
    while (!done && g_signal == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (g_signal != 0) StopRunUpdate();
  }};
  SignalWatch() {
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, NoteSignal);
  }
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;
  ~SignalWatch() {
    done = true;
    watcher.join();
  }
};

// At a step of the command: a noted signal ends the copy, then the command,
// as the signal itself would have.
void EndIfSignalled(ScratchCopy* scratch) {
  int signal = g_signal;
  if (signal == 0) return;
  scratch->End();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The copy's service records name the programs of the original device,
// which go on running there: on the copy, which nothing runs yet, every
// service is stopped. Its automatic services are then started, as they run
// on the device when an update comes.
void StartCopyServices(const fs::path& copy, Report* report) {
  std::error_code code;
  for (auto it = fs::directory_iterator(copy / "sim" / "services", code); !code && it != fs::directory_iterator();
       it.increment(code)) {
    std::error_code ignored;
    for (const char* record : {"status", "control", "lock"}) fs::remove(it->path() / record, ignored);
  }
  int failed = StartAutomaticServices();
  if (failed > 0) {
    report->notes.push_back(std::to_string(failed) + " of the device's automatic services did not start on the copy");
  }
}

// The pending operations carried out as at boot, after the service programs
// have ended (they are not started again: the copy is done with); failures
// as restart prints them.
void RestartCopy(Report* report) {
  EndServices();
  for (const platform::PendingOperation& op : report->deferred) {
    if (ApplyPendingOperation(op)) continue;
    report->restartFailures.push_back(platform::NarrowToUtf8(OperationText(op)) +
                                      " failed: " + platform::ErrorText(platform::LastError()));
  }
  platform::ClearPendingOperations();
  platform::RecordRestart();
}

int TryOnCopy(const std::string& device, const std::vector<std::string>& arguments) {
  Report report;
  report.device = device;
  report.language = "en-US";
  std::vector<Hold> holds;
  std::vector<std::string> packages;
  bool json = false;
  bool keep = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    bool valued = argument == "--lang" || argument == "--hold";
    if (valued && i + 1 >= arguments.size()) return Refuse("option " + argument + " needs a value");
    if (argument == "--lang") {
      report.language = arguments[++i];
    } else if (argument == "--hold") {
      Hold hold;
      hold.path = arguments[++i];
      std::size_t colon = hold.path.rfind(':');
      if (colon != std::string::npos && colon > 1) {
        std::string share = hold.path.substr(colon + 1);
        if (share != "none" && share != "read") return Refuse("--hold takes PATH, PATH:none or PATH:read, not " + hold.path);
        hold.shareRead = share == "read";
        hold.path = hold.path.substr(0, colon);
      }
      holds.push_back(hold);
    } else if (argument == "--json") {
      json = true;
    } else if (argument == "--keep") {
      keep = true;
    } else if (argument.rfind("-", 0) == 0) {
      return Refuse("unknown option " + argument);
    } else {
      packages.push_back(argument);
    }
  }
  if (packages.empty()) {
    return Refuse("usage: orvanta-sim try [--device DEVICE | DEVICE] [--lang TAG] [--hold PATH[:none|read]]... [--json] [--keep] PACKAGE...");
  }
  std::string problem = DeviceRootProblem(report.device);
  if (!problem.empty()) return Refuse(problem);
  std::fputs(LanguageWarning("try", report.language).c_str(), stderr);
  for (const std::string& package : packages) {
    std::error_code code;
    if (!fs::exists(package, code)) return Refuse(package + ": does not exist");
    if (!fs::is_regular_file(package, code)) return Refuse(package + ": not a file");
  }

  std::error_code code;
  fs::path original = fs::canonical(report.device, code);
  fs::path copy = fs::temp_directory_path(code) /
                  ("orvanta-try-" + std::to_string(std::random_device{}()) + "-" +
                   std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  ScratchCopy scratch;
  scratch.path = copy;
  scratch.keep = keep;
  SignalWatch signals;
  Progress("copying " + report.device);
  bool copied = platform::sim::CopyDevice(original.string(), copy.string(), &problem);
  if (!copied) scratch.keep = false;  // a part of a copy is of no use
  EndIfSignalled(&scratch);
  if (!copied) return Refuse(problem);
  report.copy = copy.string();
  for (Hold& hold : holds) {
    std::string device = HoldPath(hold.path, original);
    if (device.empty()) {
      scratch.keep = false;
      return Refuse("--hold takes a device path (C:\\...) or a host path inside " + report.device + ", not " +
                    hold.path);
    }
    hold.path = device;
    report.held.push_back(hold);
  }
  MovePendingOperations(original, copy, &report);
  platform::SetEnvironmentValue("ORVANTA_DEVICE_ROOT", copy.string());
  scratch.isDevice = true;
  platform::SetEnvironmentValue("ORVANTA_SIM_TIME_SCALE", "0");
  // The terminal is the report's, not the copy's progress window's.
  platform::SetEnvironmentValue("ORVANTA_SIM_DRAW_WINDOW", "0");

  int result = 2;
  bool staged = StagePackages(copy, packages, &report.notes, &problem);
  EndIfSignalled(&scratch);
  if (staged) {
    std::vector<std::string> locations;
    ReadLocations(copy, &locations);
    std::string application = ApplicationPath(locations);
    // A copy of a real device holds Windows programs the host cannot run;
    // the simulator's own stand in for them.
    if (!application.empty() && !ProgramProblem(HostPathOf(copy, application)).empty()) {
      fs::create_directories(HostPathOf(copy, application).parent_path(), code);
      if (InstallDeviceApp(HostPathOf(copy, application))) {
        report.notes.push_back("the simulator's device application stands in for " + platform::NarrowToUtf8(application));
      }
    }
    if (!ProgramProblem(HostPathOf(copy, "C:\\Windows\\System32\\msiexec.exe")).empty()) {
      InstallMsiexec(copy);
      report.notes.push_back("the simulator's recording msiexec stands in for C:\\Windows\\System32\\msiexec.exe");
    }
    Progress("starting the copy's services");
    StartCopyServices(copy, &report);
    EndIfSignalled(&scratch);
    // Left out of the change lists: the packages and the tool's work, the
    // run log, and the record the simulator's device application keeps.
    std::vector<std::string> skipped = {FoldCase(kUpdateFolder), FoldCase(kRunLog)};
    if (!application.empty()) {
      skipped.push_back(FoldCase(application.substr(0, application.rfind('\\') + 1) + "app-starts.log"));
    }
    Snapshot before = TakeSnapshot(copy, skipped);
    fs::path log = HostPathOf(copy, kRunLog);
    std::uintmax_t logSize = fs::file_size(log, code);
    std::size_t logStart = code ? 0 : static_cast<std::size_t>(logSize);
    std::error_code ignored;
    fs::remove(copy / "sim" / "window.txt", ignored);
    report.checks = ReadDeviceKeys(copy, &report.deviceKeys);
    CheckFit(packages, locations, before, copy, &report);
    Progress("running the update on the copy");
    bool ran = RunUpdate(copy, report.language, holds, ProgramBeside("orvanta-update").string(), &problem);
    EndIfSignalled(&scratch);
    if (ran) {
      ReadRun(LogLines(ReadAll(log), logStart), ReadAll(copy / "sim" / "window.txt"), &report.run);
      platform::ListPendingOperations(&report.deferred);
      Progress("restarting the copy");
      RestartCopy(&report);
      EndIfSignalled(&scratch);
      CompareSnapshots(before, TakeSnapshot(copy, skipped), original, copy, &report);
      Progress("");
      bool applied = std::all_of(report.run.packages.begin(), report.run.packages.end(),
                                 [](const PackageReport& p) { return std::string(Outcome(p)) == "applied"; });
      bool clean = applied && report.run.errors.empty() && report.warnings.empty() && report.restartFailures.empty();
      result = clean ? 0 : 1;
      if (keep) report.notes.push_back("the copy stays in " + copy.string());
      if (json) {
        PrintJson(report, result);
      } else {
        PrintText(report, result);
      }
    }
  }
  scratch.End();
  EndIfSignalled(&scratch);
  if (result == 2) return Refuse(problem);
  return result;
}

}  // namespace

int Try(const std::string& device, const std::vector<std::string>& arguments) {
  // Whatever is thrown (a name the host's libraries cannot convert, say)
  // ends the command with its reason, after the copy has been ended.
  try {
    return TryOnCopy(device, arguments);
  } catch (const std::exception& failure) {
    return Refuse(std::string("stopped: ") + failure.what());
  }
}

}  // namespace orvanta_sim
