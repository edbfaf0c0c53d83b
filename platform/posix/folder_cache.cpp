#include "platform/posix/folder_cache.h"

#include <dirent.h>
#include <limits.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <unordered_map>
#include <vector>

namespace platform::sim {
namespace {

// Past this many folders the cache starts afresh rather than hold watches
// that other programs of this user may need.
constexpr std::size_t kMaxFolders = 2048;
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                     IN_MOVE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;

struct Entry {
  std::string name;
  EntryKind kind;
};

struct Folder {
  int watch = -1;
  // By name with ASCII letters lower-cased; more than one entry only where
  // names differ in case alone.
  std::unordered_map<std::string, std::vector<Entry>> byFolded;
};

struct Cache {
  int fd = -1;
  bool unavailable = false;
  std::map<std::string, Folder> folders;
  std::unordered_map<int, std::string> byWatch;
  std::string way;  // the host path followed
  WayChange wayChange = WayChange::Other;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

std::string Fold(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

EntryKind KindOf(unsigned char type) {
  switch (type) {
    case DT_DIR:
      return EntryKind::Folder;
    case DT_LNK:
      return EntryKind::Link;
    case DT_UNKNOWN:
      return EntryKind::Unknown;
    default:
      return EntryKind::Other;
  }
}

void AddName(Folder& folder, const std::string& name, EntryKind kind) {
  std::vector<Entry>& list = folder.byFolded[Fold(name)];
  for (Entry& entry : list) {
    if (entry.name == name) {
      entry.kind = kind;
      return;
    }
  }
  list.push_back({name, kind});
}

void RemoveName(Folder& folder, const std::string& name) {
  auto found = folder.byFolded.find(Fold(name));
  if (found == folder.byFolded.end()) return;
  std::vector<Entry>& list = found->second;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (it->name == name) {
      list.erase(it);
      break;
    }
  }
  if (list.empty()) folder.byFolded.erase(found);
}

void Forget(Cache& cache, std::map<std::string, Folder>::iterator it) {
  cache.wayChange = WayChange::Other;
  inotify_rm_watch(cache.fd, it->second.watch);
  cache.byWatch.erase(it->second.watch);
  cache.folders.erase(it);
}

// Forgets the folder at `path` and every folder below it: a folder's place
// is only known through its parent's listing.
void ForgetTree(Cache& cache, const std::string& path) {
  auto self = cache.folders.find(path);
  if (self != cache.folders.end()) Forget(cache, self);
  std::string prefix = path + "/";
  for (auto it = cache.folders.lower_bound(prefix);
       it != cache.folders.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
    auto next = std::next(it);
    Forget(cache, it);
    it = next;
  }
}

// Closing the descriptor drops every watch at once.
void ForgetAll(Cache& cache) {
  if (cache.fd >= 0) ::close(cache.fd);
  cache.fd = -1;
  cache.wayChange = WayChange::Other;
  cache.folders.clear();
  cache.byWatch.clear();
}

// Notes a change to `name` in the folder at `folder` where the way followed
// passes through that folder by that name.
void NoteOnWay(Cache& cache, const std::string& folder, const std::string& name, bool created) {
  const std::string& way = cache.way;
  if (cache.wayChange == WayChange::Other || way.size() <= folder.size() + 1 ||
      way.compare(0, folder.size(), folder) != 0 || way[folder.size()] != '/') {
    return;
  }
  std::size_t start = folder.size() + 1;
  std::size_t end = way.find('/', start);
  std::string component = way.substr(start, end == std::string::npos ? std::string::npos : end - start);
  if (Fold(component) != Fold(name)) return;
  bool leafCreated = created && end == std::string::npos && component == name;
  cache.wayChange = leafCreated && cache.wayChange == WayChange::None ? WayChange::LeafCreated : WayChange::Other;
}

void Apply(Cache& cache, const inotify_event& event) {
  if (event.mask & IN_Q_OVERFLOW) {
    ForgetAll(cache);
    return;
  }
  auto watched = cache.byWatch.find(event.wd);
  if (watched == cache.byWatch.end()) return;
  std::string path = watched->second;
  if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
    ForgetTree(cache, path);
    return;
  }
  if (event.len == 0) return;
  std::string name = event.name;
  NoteOnWay(cache, path, name, (event.mask & (IN_CREATE | IN_MOVED_TO)) != 0);
  ForgetTree(cache, path + "/" + name);
  auto folder = cache.folders.find(path);
  if (folder == cache.folders.end()) return;
  if (event.mask & (IN_CREATE | IN_MOVED_TO)) {
    AddName(folder->second, name, (event.mask & IN_ISDIR) ? EntryKind::Folder : EntryKind::Unknown);
  } else if (event.mask & (IN_DELETE | IN_MOVED_FROM)) {
    RemoveName(folder->second, name);
  }
}

Folder* Load(Cache& cache, const std::string& path) {
  auto known = cache.folders.find(path);
  if (known != cache.folders.end()) return &known->second;
  if (cache.unavailable) return nullptr;
  if (cache.folders.size() >= kMaxFolders) ForgetAll(cache);
  if (cache.fd < 0) {
    cache.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (cache.fd < 0) {
      // Without inotify (every instance of this user taken) the simulator reads folders instead.
      cache.unavailable = true;
      return nullptr;
    }
  }
  // The watch comes first: a change between it and the listing below is
  // applied again after the listing, which leaves the same result.
  int watch = inotify_add_watch(cache.fd, path.c_str(), kWatchMask);
  if (watch < 0) return nullptr;
  if (cache.byWatch.count(watch) != 0) return nullptr;  // the same folder under another name
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) {
    inotify_rm_watch(cache.fd, watch);
    return nullptr;
  }
  Folder folder;
  folder.watch = watch;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    AddName(folder, name, KindOf(entry->d_type));
  }
  closedir(dir);
  cache.byWatch[watch] = path;
  return &(cache.folders[path] = std::move(folder));
}

}  // namespace

void TakeInChanges() {
  Cache& cache = TheCache();
  if (cache.fd < 0 || cache.folders.empty()) return;
  alignas(inotify_event) char buffer[32768];
  for (;;) {
    ssize_t n = ::read(cache.fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    for (ssize_t at = 0; at < n && cache.fd >= 0;) {
      const inotify_event* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      Apply(cache, *event);
    }
    // A read that left room for the longest event took everything queued.
    if (cache.fd < 0 || static_cast<std::size_t>(n) + sizeof(inotify_event) + NAME_MAX + 1 <= sizeof(buffer)) return;
  }
}

bool FindInFolder(const std::string& folder, const std::string& name, bool* found, std::string* actual,
                  EntryKind* kind) {
  Folder* listed = Load(TheCache(), folder);
  if (listed == nullptr) return false;
  auto match = listed->byFolded.find(Fold(name));
  *found = match != listed->byFolded.end();
  if (!*found) return true;
  const Entry* best = nullptr;
  for (const Entry& entry : match->second) {
    if (entry.name == name) {
      best = &entry;
      break;
    }
    if (best == nullptr || entry.name < best->name) best = &entry;
  }
  *actual = best->name;
  *kind = best->kind;
  return true;
}

void FollowWay(const std::string& host) {
  Cache& cache = TheCache();
  cache.way = host;
  cache.wayChange = WayChange::None;
}

WayChange ChangeOnWay() { return TheCache().wayChange; }

void NoteKind(const std::string& folder, const std::string& name, EntryKind kind) {
  Cache& cache = TheCache();
  auto listed = cache.folders.find(folder);
  if (listed == cache.folders.end()) return;
  auto match = listed->second.byFolded.find(Fold(name));
  if (match == listed->second.byFolded.end()) return;
  for (Entry& entry : match->second) {
    if (entry.name == name) entry.kind = kind;
  }
}

}  // namespace platform::sim
