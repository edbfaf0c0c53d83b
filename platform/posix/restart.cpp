// Pending restart operations of the simulated device, one per line of
// sim/pending-restart.tsv: "delete<TAB>PATH" or "move<TAB>FROM<TAB>TO", with
// absolute host paths, in call order.
#include "platform/restart.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <fstream>

#include "platform/fault.h"
#include "platform/posix/share_lock.h"
#include "platform/posix/sim_device.h"

namespace platform {
namespace {

// A list whose last line was cut short (a process killed while appending)
// gets the new operation on a line of its own.
bool Append(const std::string& line) {
  std::string path = sim::SimFile("pending-restart.tsv");
  bool whole = true;
  {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (in && in.tellg() > 0) {
      in.seekg(-1, std::ios::end);
      whole = in.get() == '\n';
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out << (whole ? "" : "\n") << line << '\n';
  out.close();
  return out ? true : sim::Fail(kErrorWriteFault);
}

// True when some open of the host file denies delete, as an open of it sees.
bool HeldWithoutDeleteShare(const std::string& host) {
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool denied = sim::DeleteDenied(fd);
  ::close(fd);
  return denied;
}

// The folder's entries are on the disk: a rename in it survives a power loss.
bool FlushFolder(const std::string& host) {
  std::string folder = host.substr(0, host.find_last_of('/'));
  int fd = ::open(folder.empty() ? "/" : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return sim::FailFromErrno(folder);
  bool flushed = ::fsync(fd) == 0;
  if (!flushed) sim::FailFromErrno(folder);
  ::close(fd);
  return flushed;
}

}  // namespace

bool DeleteAtRestart(const std::string& path) {
  if (FaultHit(FaultOp::DeleteAtRestart)) return false;
  std::string host;
  if (!sim::MapPath(path, &host)) return false;
  return Append("delete\t" + host);
}

bool MoveAtRestart(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::MoveAtRestart)) return false;
  std::string hostFrom;
  std::string hostTo;
  if (!sim::MapPath(from, &hostFrom) || !sim::MapNewName(to, &hostTo)) return false;
  return Append("move\t" + hostFrom + "\t" + hostTo);
}

bool ListPendingOperations(std::vector<PendingOperation>* operations) {
  operations->clear();
  std::ifstream in(sim::SimFile("pending-restart.tsv"), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    PendingOperation op;
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    std::string kind = line.substr(0, tab);
    std::string rest = line.substr(tab + 1);
    // A line without its paths is not an operation (a list cut short, or edited by hand).
    if (kind == "delete") {
      if (rest.empty()) continue;
      op.isDelete = true;
      op.from = sim::DeviceFormOfHost(rest);
    } else if (kind == "move") {
      std::size_t second = rest.find('\t');
      if (second == std::string::npos || second == 0 || second + 1 == rest.size()) continue;
      op.from = sim::DeviceFormOfHost(rest.substr(0, second));
      op.to = sim::DeviceFormOfHost(rest.substr(second + 1));
    } else {
      continue;
    }
    operations->push_back(op);
  }
  return true;
}

bool ClearPendingOperations() {
  std::ofstream out(sim::SimFile("pending-restart.tsv"), std::ios::binary | std::ios::trunc);
  return out ? true : sim::Fail(kErrorWriteFault);
}

void RecordRestart() {
  std::time_t now = std::time(nullptr);
  char stamp[32];
  std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::ofstream(sim::SimFile("restarts.log"), std::ios::binary | std::ios::app) << "restart " << stamp << '\n';
}

bool MoveNow(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::MoveNow)) return false;
  sim::HostEntry source;
  sim::HostEntry target;
  if (!sim::MapPath(from, &source) || !sim::MapNewName(to, &target)) return false;
  // A link itself is moved; nothing beyond a link that leaves the device.
  if (source.outside || target.outside) return sim::Fail(kErrorAccessDenied);
  const std::string& hostFrom = source.path;
  const std::string& hostTo = target.path;
  struct stat st;
  if (lstat(hostFrom.c_str(), &st) != 0) return sim::FailFromErrno(hostFrom);
  // A different name for the same entry (a change of letter case) is a rename, not a clash.
  struct stat existing;
  if (lstat(hostTo.c_str(), &existing) == 0 && !(existing.st_ino == st.st_ino && existing.st_dev == st.st_dev)) {
    return sim::Fail(kErrorAlreadyExists);
  }
  if (::rename(hostFrom.c_str(), hostTo.c_str()) != 0) return sim::FailFromErrno(hostTo);
  return true;
}

bool ReplaceNow(const std::string& from, const std::string& to) {
  if (FaultHit(FaultOp::ReplaceNow)) return false;
  sim::HostEntry source;
  sim::HostEntry target;
  if (!sim::MapPath(from, &source) || !sim::MapNewName(to, &target)) return false;
  if (source.outside || target.outside) return sim::Fail(kErrorAccessDenied);
  struct stat st;
  if (lstat(source.path.c_str(), &st) != 0) return sim::FailFromErrno(source.path);
  if (S_ISDIR(st.st_mode)) return sim::Fail(kErrorAccessDenied);
  if (HeldWithoutDeleteShare(source.path)) return sim::Fail(kErrorSharingViolation);
  struct stat existing;
  if (lstat(target.path.c_str(), &existing) == 0) {
    // What replaces the old file deletes it first, with a deletion's rules.
    if (S_ISDIR(existing.st_mode) || !(existing.st_mode & S_IWUSR) || sim::IsRunningImage(target.path)) {
      return sim::Fail(kErrorAccessDenied);
    }
    // Windows refuses to replace a file in use this way with access denied.
    if (HeldWithoutDeleteShare(target.path)) return sim::Fail(kErrorAccessDenied);
  }
  if (::rename(source.path.c_str(), target.path.c_str()) != 0) return sim::FailFromErrno(target.path);
  return FlushFolder(target.path);
}

}  // namespace platform
