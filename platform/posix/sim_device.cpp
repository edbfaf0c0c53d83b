#include "platform/posix/sim_device.h"

#include "platform/posix/folder_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform::sim {
namespace {

constexpr std::size_t kMaxPath = 260;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string WorkingDirectory() {
  std::string buffer(4096, '\0');
  if (getcwd(buffer.data(), buffer.size()) == nullptr) return "/";
  buffer.resize(std::char_traits<char>::length(buffer.c_str()));
  return buffer;
}

std::vector<std::string> SplitHost(const std::string& text) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : text) {
    if (c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// Appends the components of `text` to `parts`, resolving "." and ".." by text
// as GetFullPathName does (".." never climbs above the root).
bool AppendComponents(const std::string& text, std::vector<std::string>* parts) {
  std::string part;
  auto flush = [&]() -> bool {
    if (part.empty() || part == ".") {
    } else if (part == "..") {
      if (!parts->empty()) parts->pop_back();
    } else {
      for (char c : part) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || c == '<' || c == '>' || c == ':' || c == '"' || c == '|' || c == '?' ||
            c == '*') {
          return false;
        }
      }
      parts->push_back(part);
    }
    part.clear();
    return true;
  };
  for (char c : text) {
    if (IsSeparator(c)) {
      if (!flush()) return false;
    } else {
      part += c;
    }
  }
  return flush();
}

// The working directory as a device path: on its drive when it lies inside
// the device root, on the host otherwise.
DevicePath WorkingDevicePath() {
  DevicePath cwd;
  std::vector<std::string> host = SplitHost(WorkingDirectory());
  std::vector<std::string> root = SplitHost(DeviceRoot());
  bool inside = host.size() > root.size();
  for (std::size_t i = 0; inside && i < root.size(); ++i) inside = host[i] == root[i];
  if (inside && host[root.size()].size() == 1) {
    cwd.drive = host[root.size()][0];
    for (std::size_t i = root.size() + 1; i < host.size(); ++i) {
      cwd.parts.push_back(DeviceName(host[i]));
    }
  } else {
    cwd.onHost = true;
    for (const std::string& p : host) cwd.parts.push_back(DeviceName(p));
  }
  return cwd;
}

}  // namespace

std::string DeviceRoot() {
  const char* root = std::getenv("ORVANTA_DEVICE_ROOT");
  std::string path;
  if (root != nullptr && *root != '\0') {
    path = root;
  } else {
    const char* home = std::getenv("HOME");
    path = std::string(home != nullptr ? home : "") + "/.orvanta/device";
  }
  if (path.empty() || path[0] != '/') path = WorkingDirectory() + "/" + path;
  // Every path operation asks for the root: an absolute root that resolved
  // once is kept until the variable names another.
  static std::string cachedGiven;
  static std::string cachedRoot;
  if (!cachedGiven.empty() && path == cachedGiven) return cachedRoot;
  std::string given = path;
  bool resolved = false;
  if (char* real = realpath(path.c_str(), nullptr)) {
    path = real;
    std::free(real);
    resolved = true;
  }
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (resolved) {
    cachedGiven = given;
    cachedRoot = path;
  }
  return path;
}

namespace {

// Set by a tool that works on host files.
bool g_hostPaths = false;

// A host path below the device root, taken as what it names there: a path
// on a drive (ROOT/C/...) or the simulator's own records. False for any other.
bool IntoDevice(DevicePath* path) {
  std::vector<std::string> root = SplitHost(DeviceRoot());
  if (path->parts.size() <= root.size()) return false;
  for (std::size_t i = 0; i < root.size(); ++i) {
    if (HostName(path->parts[i]) != root[i]) return false;
  }
  const std::string& first = path->parts[root.size()];
  if (first.size() == 1 && first[0] >= 'A' && first[0] <= 'Z') {
    path->drive = first[0];
    path->parts.erase(path->parts.begin(), path->parts.begin() + static_cast<std::ptrdiff_t>(root.size() + 1));
  } else {
    path->onHost = true;
  }
  return true;
}

}  // namespace

bool ParsePath(const std::string& path, DevicePath* out) {
  *out = DevicePath{};
  if (path.empty()) return Fail(kErrorPathNotFound);
  if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    return Fail(kErrorBadNetpath);
  }
  std::string rest;
  char first = path[0];
  bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
  if (path.size() >= 2 && letter && path[1] == ':') {
    out->drive = static_cast<char>(first & ~0x20);
    rest = path.substr(2);
  } else if (first == '/' || first == '\\') {
    // Either slash is a separator: a path that begins with one starts at the
    // root of the current drive, as on the device. A host path into the
    // device names what it holds; any other names the host only for a host
    // tool or a program working in a host folder, never for one working on
    // the device.
    if (!AppendComponents(path, &out->parts)) return Fail(kErrorInvalidName);
    if (first == '/' && IntoDevice(out)) return true;
    DevicePath cwd = WorkingDevicePath();
    out->onHost = (g_hostPaths || cwd.onHost) && first == '/';
    out->drive = cwd.onHost ? 'C' : cwd.drive;
    return true;
  } else {
    *out = WorkingDevicePath();
    rest = path;
  }
  if (!AppendComponents(rest, &out->parts)) return Fail(kErrorInvalidName);
  return true;
}

std::string DeviceForm(const DevicePath& path) {
  std::string text;
  if (path.onHost) {
    for (const std::string& p : path.parts) text += "/" + p;
    return text.empty() ? "/" : text;
  }
  text = std::string(1, path.drive) + ":\\";
  for (std::size_t i = 0; i < path.parts.size(); ++i) {
    if (i > 0) text += '\\';
    text += path.parts[i];
  }
  return text;
}

namespace {

// `path` + "/" + `name`, appended in place.
void AppendName(std::string& path, const std::string& name) {
  path += '/';
  path += name;
}

// The first entry of `folder` that matches `name` without regard to case, in
// byte order, so that the choice does not depend on the host's directory order.
bool ScanFolder(const std::string& folder, const std::string& name, std::string* match) {
  DIR* dir = opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return false;
  match->clear();
  while (dirent* entry = readdir(dir)) {
    std::string candidate = entry->d_name;
    if (EqualsIgnoreCase(candidate, name) && (match->empty() || candidate < *match)) *match = candidate;
  }
  closedir(dir);
  return !match->empty();
}

// Lexically, "." and ".." taken out of an absolute host path.
std::string Normalize(const std::string& path) {
  std::vector<std::string> parts;
  for (const std::string& part : SplitHost(path)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string text;
  for (const std::string& part : parts) text += "/" + part;
  return text.empty() ? "/" : text;
}

bool IsUnderRoot(const std::string& host) {
  std::string root = DeviceRoot();
  return host == root || host.compare(0, root.size() + 1, root + "/") == 0;
}

// The components of `parts` from `from` on, each matched with one lstat in
// the given case and a scan of its folder when that misses; the way of the
// caches' failures and of host paths.
void WalkOnHost(const DevicePath& path, std::size_t from, HostEntry* entry) {
  std::string& host = entry->path;
  bool resolving = true;
  for (std::size_t i = from; i < path.parts.size(); ++i) {
    std::string name = HostName(path.parts[i]);
    bool last = i + 1 == path.parts.size();
    if (resolving) {
      struct stat st;
      std::string exact = host + "/" + name;
      std::string match;
      bool there = lstat(exact.c_str(), &st) == 0;
      int error = errno;
      if (!there && error == ENOENT && ScanFolder(host, name, &match)) {
        name = match;
        exact = host + "/" + name;
        there = lstat(exact.c_str(), &st) == 0;
        error = errno;
      }
      if (there) {
        entry->exists = last;
        if (last) entry->folderExists = true;
        if (!last && !path.onHost && S_ISLNK(st.st_mode) && LeadsOutside(exact)) entry->outside = true;
      } else {
        resolving = false;
        entry->folderExists = last && error == ENOENT;
      }
    }
    AppendName(host, name);
  }
  if (host.empty()) host.push_back('/');
}

}  // namespace

bool LeadsOutside(const std::string& host) {
  if (char* real = realpath(host.c_str(), nullptr)) {
    bool inside = IsUnderRoot(real);
    std::free(real);
    return !inside;
  }
  // A link that leads nowhere (yet): judged by its text, against the real
  // folder that holds it.
  char target[4096];
  ssize_t n = readlink(host.c_str(), target, sizeof(target) - 1);
  if (n <= 0) return true;
  target[n] = '\0';
  std::string text = target;
  if (text[0] != '/') {
    std::string folder = host.substr(0, host.find_last_of('/'));
    char* real = realpath(folder.empty() ? "/" : folder.c_str(), nullptr);
    if (real == nullptr) return true;
    text = std::string(real) + "/" + text;
    std::free(real);
  }
  return !IsUnderRoot(Normalize(text));
}

namespace {

// Resolve after the changes were taken in; `throughCache` tells whether every
// answer on the way came from the folder cache.
HostEntry Lookup(const DevicePath& path, bool* throughCache) {
  *throughCache = false;
  HostEntry entry;
  if (path.onHost) {
    // The whole path in the given case first: one call where it exists.
    std::string exact;
    for (const std::string& part : path.parts) AppendName(exact, HostName(part));
    struct stat st;
    if (!exact.empty() && lstat(exact.c_str(), &st) == 0) {
      entry.path = exact;
      entry.exists = true;
      entry.folderExists = true;
      return entry;
    }
    WalkOnHost(path, 0, &entry);
    return entry;
  }
  entry.path = DeviceRoot() + "/" + path.drive;
  entry.folderExists = true;
  std::size_t i = 0;
  for (; i < path.parts.size(); ++i) {
    std::string name = HostName(path.parts[i]);
    bool last = i + 1 == path.parts.size();
    bool found = false;
    std::string actual;
    EntryKind kind = EntryKind::Unknown;
    if (!FindInFolder(entry.path, name, &found, &actual, &kind)) break;
    if (!found) {
      // Nothing below a missing name exists: the rest keeps the case given.
      entry.folderExists = last;
      for (; i < path.parts.size(); ++i) AppendName(entry.path, HostName(path.parts[i]));
      *throughCache = true;
      return entry;
    }
    std::string folder = entry.path;
    AppendName(entry.path, actual);
    if (last) {
      entry.exists = true;
      *throughCache = true;
      return entry;
    }
    if (kind == EntryKind::Unknown) {
      struct stat st;
      if (lstat(entry.path.c_str(), &st) != 0) {
        entry.folderExists = false;
        for (++i; i < path.parts.size(); ++i) AppendName(entry.path, HostName(path.parts[i]));
        return entry;
      }
      kind = S_ISDIR(st.st_mode) ? EntryKind::Folder : S_ISLNK(st.st_mode) ? EntryKind::Link : EntryKind::Other;
      NoteKind(folder, actual, kind);
    }
    if (kind == EntryKind::Other) {
      // A file in the middle of the path: nothing lies below it.
      entry.folderExists = false;
      for (++i; i < path.parts.size(); ++i) AppendName(entry.path, HostName(path.parts[i]));
      *throughCache = true;
      return entry;
    }
    if (kind == EntryKind::Link) {
      // Beyond a link the file system is asked directly.
      if (LeadsOutside(entry.path)) entry.outside = true;
      ++i;
      break;
    }
  }
  if (i < path.parts.size()) {
    WalkOnHost(path, i, &entry);
  } else if (path.parts.empty()) {
    struct stat st;
    entry.exists = lstat(entry.path.c_str(), &st) == 0;
  }
  return entry;
}

// The last drive path that MapPath resolved wholly through the folder cache:
// the next operation on the same path uses its answer while no change on its
// way was taken in, as the lookup would give the same answer again.
struct KeptLookup {
  std::string path;
  std::string root;
  HostEntry entry;
};

KeptLookup& Kept() {
  static KeptLookup kept;
  return kept;
}

// "X:\..." names the same entry from any working directory.
bool IsDrivePath(const std::string& path) {
  char letter = static_cast<char>(path.empty() ? 0 : (path[0] | 0x20));
  return path.size() >= 3 && letter >= 'a' && letter <= 'z' && path[1] == ':' && IsSeparator(path[2]);
}

bool UseKept(const std::string& path, HostEntry* entry) {
  KeptLookup& kept = Kept();
  if (kept.path != path || kept.root != DeviceRoot()) return false;
  WayChange change = ChangeOnWay();
  if (change == WayChange::LeafCreated && !kept.entry.exists && kept.entry.folderExists) {
    // The missing name made in the case asked: the lookup would now find it as given.
    kept.entry.exists = true;
    FollowWay(kept.entry.path);
    change = WayChange::None;
  }
  if (change != WayChange::None) return false;
  *entry = kept.entry;
  return true;
}

}  // namespace

HostEntry Resolve(const DevicePath& path) {
  if (!path.onHost) TakeInChanges();
  bool throughCache = false;
  return Lookup(path, &throughCache);
}

std::string HostPath(const DevicePath& path) { return Resolve(path).path; }

bool MapPath(const std::string& path, HostEntry* entry) {
  bool drivePath = IsDrivePath(path);
  if (drivePath) {
    TakeInChanges();
    if (UseKept(path, entry)) return true;
  }
  DevicePath parsed;
  if (!ParsePath(path, &parsed)) return false;
  if (!parsed.onHost && DeviceForm(parsed).size() >= kMaxPath) {
    return Fail(kErrorFilenameExcedRange);
  }
  if (!drivePath && !parsed.onHost) TakeInChanges();
  bool throughCache = false;
  *entry = Lookup(parsed, &throughCache);
  if (drivePath && throughCache) {
    Kept() = KeptLookup{path, DeviceRoot(), *entry};
    FollowWay(entry->path);
  }
  return true;
}

bool MapPath(const std::string& path, std::string* hostPath) {
  HostEntry entry;
  if (!MapPath(path, &entry)) return false;
  *hostPath = entry.path;
  return true;
}

bool MapNewName(const std::string& path, HostEntry* entry) {
  DevicePath parsed;
  if (!ParsePath(path, &parsed)) return false;
  if (!parsed.onHost && DeviceForm(parsed).size() >= kMaxPath) return Fail(kErrorFilenameExcedRange);
  if (parsed.parts.empty()) {
    *entry = Resolve(parsed);
    return true;
  }
  std::string leaf = parsed.parts.back();
  parsed.parts.pop_back();
  HostEntry parent = Resolve(parsed);
  entry->path = (parent.path == "/" ? "" : parent.path) + "/" + HostName(leaf);
  entry->exists = false;
  entry->folderExists = parent.exists || parsed.parts.empty();
  entry->outside = parent.outside;
  struct stat st;
  // The folder named last may itself be a link out of the device.
  if (!parsed.onHost && !parent.outside && parent.exists && lstat(parent.path.c_str(), &st) == 0 &&
      S_ISLNK(st.st_mode)) {
    entry->outside = LeadsOutside(parent.path);
  }
  return true;
}

bool MapNewName(const std::string& path, std::string* hostPath) {
  HostEntry entry;
  if (!MapNewName(path, &entry)) return false;
  *hostPath = entry.path;
  return true;
}

std::string DeviceFormOfHost(const std::string& host) {
  std::string root = DeviceRoot() + "/";
  if (host.compare(0, root.size(), root) != 0) return host;
  std::vector<std::string> parts = SplitHost(host.substr(root.size()));
  if (parts.empty() || parts[0].size() != 1) return host;
  DevicePath path;
  path.drive = parts[0][0];
  for (std::size_t i = 1; i < parts.size(); ++i) path.parts.push_back(DeviceName(parts[i]));
  return DeviceForm(path);
}

std::string HostName(const std::string& latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (char c : latin1) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      utf8 += c;
    } else {
      utf8 += static_cast<char>(0xC0 | (u >> 6));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    }
  }
  return utf8;
}

std::string DeviceName(const std::string& utf8) {
  std::string latin1;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned char u = static_cast<unsigned char>(utf8[i]);
    if (u < 0x80) {
      latin1 += static_cast<char>(u);
      ++i;
      continue;
    }
    int length = (u >= 0xF0) ? 4 : (u >= 0xE0) ? 3 : (u >= 0xC0) ? 2 : 1;
    if ((u == 0xC2 || u == 0xC3) && i + 1 < utf8.size()) {
      unsigned char next = static_cast<unsigned char>(utf8[i + 1]);
      latin1 += static_cast<char>(((u & 0x1F) << 6) | (next & 0x3F));
    } else {
      latin1 += '?';
    }
    i += static_cast<std::size_t>(length);
  }
  return latin1;
}

namespace {

// The simulator's records are its own files: a link in their place (a
// device copied with its links) is removed, so that the record is written
// anew and never through the link.
void ReplaceLink(const std::string& host) {
  struct stat st;
  if (lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(host.c_str());
}

}  // namespace

std::string SimFile(const std::string& name) {
  std::string folder = DeviceRoot() + "/sim";
  ReplaceLink(folder);
  ::mkdir(folder.c_str(), 0777);
  std::string path = folder + "/" + name;
  ReplaceLink(path);
  return path;
}

std::vector<std::string> ReadSimLines(const std::string& name) {
  std::vector<std::string> lines;
  std::ifstream in(SimFile(name), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool WriteSimLines(const std::string& name, const std::vector<std::string>& lines) {
  std::string path = SimFile(name);
  std::string temporary = path + "." + std::to_string(getpid()) + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    out.close();
    if (!out) {
      ::unlink(temporary.c_str());
      return Fail(kErrorWriteFault);
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return FailFromErrno(path);
  }
  return true;
}

void RecordEvent(const std::string& event, const std::string& details) {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local = {};
  localtime_r(&now.tv_sec, &local);
  char stamp[40];
  std::snprintf(stamp, sizeof(stamp), "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(now.tv_nsec / 1000000));
  std::string text = details;
  for (char& c : text) {
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  }
  std::string line = std::string(stamp) + "\t" + event + "\t" + HostName(text) + "\n";
  int fd = ::open(SimFile("events.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

bool IsRunningImage(const std::string& hostPath) {
  struct stat file;
  if (stat(hostPath.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return false;
  // Only an executable file can be the image of a host process.
  if (!(file.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH))) return false;
  // Where the kernel refuses writes to a running image (ETXTBSY), asking it is
  // quick; otherwise every process's image is compared.
  static const bool kernelKnows = [] {
    int self = ::open("/proc/self/exe", O_WRONLY | O_CLOEXEC);
    if (self >= 0) ::close(self);
    return self < 0 && errno == ETXTBSY;
  }();
  if (kernelKnows) {
    int fd = ::open(hostPath.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
      ::close(fd);
      return false;
    }
    if (errno == ETXTBSY) return true;
  }
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool running = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    struct stat image;
    std::string exe = std::string("/proc/") + entry->d_name + "/exe";
    if (stat(exe.c_str(), &image) == 0 && image.st_ino == file.st_ino && image.st_dev == file.st_dev) {
      running = true;
      break;
    }
  }
  closedir(proc);
  return running;
}

double TimeScale() {
  const char* text = std::getenv("ORVANTA_SIM_TIME_SCALE");
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  double scale = std::strtod(text, &end);
  if (end == text || *end != '\0' || !std::isfinite(scale) || scale < 0) return 1.0;
  return scale;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

Dword ErrorFromErrno(int error, const std::string& hostPath) {
  switch (error) {
    case 0:
      return kErrorSuccess;
    case ENOENT: {
      if (hostPath.empty()) return kErrorFileNotFound;
      std::string parent = hostPath.substr(0, hostPath.find_last_of('/'));
      struct stat st;
      bool parentThere = parent.empty() || (stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode));
      return parentThere ? kErrorFileNotFound : kErrorPathNotFound;
    }
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EBADF:
      return kErrorInvalidHandle;
    case EINVAL:
      return kErrorInvalidParameter;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case EAGAIN:
      return kErrorLockViolation;
    case EIO:
      return kErrorGenFailure;
    default:
      return kErrorGenFailure;
  }
}

bool FailFromErrno(const std::string& hostPath) {
  SetLastErrorCode(ErrorFromErrno(errno, hostPath));
  return false;
}

bool Fail(Dword error) {
  SetLastErrorCode(error);
  return false;
}

std::string ReadProcFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) text.clear();
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return text;
}

unsigned long long ProcessStartTime(int pid) {
  if (pid <= 0) return 0;
  std::string stat = ReadProcFile("/proc/" + std::to_string(pid) + "/stat");
  // "PID (COMM) STATE ..." where COMM may itself hold blanks and parentheses.
  std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 1));
  std::string state;
  fields >> state;
  if (state.empty() || state == "Z" || state == "X" || state == "x") return 0;
  std::string field;
  for (int i = 4; i < 22 && fields >> field; ++i) {
  }
  unsigned long long start = 0;
  if (!(fields >> start)) return 0;
  return start == 0 ? 1 : start;
}

std::string ProcessImageName(int pid) {
  std::string proc = "/proc/" + std::to_string(pid);
  std::string target(4096, '\0');
  ssize_t length = readlink((proc + "/exe").c_str(), target.data(), target.size());
  if (length <= 0) {
    // Kernel threads have no image; the system lists them by name.
    std::string name = ReadProcFile(proc + "/comm");
    return DeviceName(name.substr(0, name.find('\n')));
  }
  target.resize(static_cast<std::size_t>(length));
  const std::string deleted = " (deleted)";
  if (target.size() > deleted.size() && target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0) {
    target.resize(target.size() - deleted.size());
  }
  return DeviceName(target.substr(target.find_last_of('/') + 1));
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i >= text.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < text.size() && (quoted || (text[i] != ' ' && text[i] != '\t'))) {
      if (text[i] == '\\') {
        std::size_t count = 0;
        while (i < text.size() && text[i] == '\\') {
          ++count;
          ++i;
        }
        if (i < text.size() && text[i] == '"') {
          argument.append(count / 2, '\\');
          if (count % 2 == 1) {
            argument += '"';
            ++i;
          }
        } else {
          argument.append(count, '\\');
        }
      } else if (text[i] == '"') {
        if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
          argument += '"';
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else {
        argument += text[i++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

}  // namespace platform::sim

namespace platform {

void UseHostPaths() { sim::g_hostPaths = true; }

}  // namespace platform
