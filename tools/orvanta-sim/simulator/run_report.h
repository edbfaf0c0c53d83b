#pragma once
// What a run of the update tool did to a simulated device, read from what
// the device recorded: the run log, the progress window's last text and the
// operations pending for the restart. orvanta-sim update and try report it.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/orvanta-sim/commands.h"

namespace orvanta_sim {

// One package of the run, as its header and the run describe it.
struct PackageReport {
  std::string file;
  std::string type;
  std::string name;
  std::string detail;
  std::string status;  // its line in the progress window
  bool processed = false;
  std::vector<std::string> errors;
  // From PACKAGE.minisig beside the package: the key that signed it, or why
  // there is no signature to read.
  std::string signedBy;
  std::string algorithm;
  std::string trustedComment;
  std::string unsignedWhy;
};

struct RunReport {
  std::vector<PackageReport> packages;
  std::vector<std::string> errors;  // every "ERROR: " line
  std::string decision;             // restart, prompt, service, application, installers
  std::vector<std::string> decisionLines;
  bool loaded = false;  // the tool read its descriptor
  bool ended = false;   // the tool logged the end of its run
};

// The first `limit` bytes of a file, or all of it, in one read; empty when
// it cannot be read.
std::string ReadStart(const fs::path& path, std::uint64_t limit);
std::string ReadAll(const fs::path& path);

// A package's header fields, with "?" for a type the device does not know;
// false when the file is too short to hold a header. `bytes` are the file's.
bool ReadPackageHeader(const std::string& bytes, PackageReport* package);

// The signature beside the package at `path` (PATH.minisig), as read, not checked.
void ReadPackageSignature(const fs::path& path, PackageReport* package);

// The keys of a device's key file, and whether it has one (then it checks).
bool ReadDeviceKeys(const fs::path& root, std::vector<std::string>* keys);

// "Signed by key K, trusted comment: ..." for a text report, or why not.
std::string SignatureText(const PackageReport& package);

// The log lines after `offset`, without their time prefixes, as UTF-8.
std::vector<std::string> LogLines(const std::string& log, std::size_t offset);

// Fills in the packages' errors, outcome and window lines, the ERROR lines
// and the final decision from the run's log lines and the window's text.
void ReadRun(const std::vector<std::string>& lines, const std::string& window, RunReport* run);

// The warning for a --lang the update tool has no messages in, or empty.
std::string LanguageWarning(const std::string& command, const std::string& tag);

// "applied" or "failed": a package is applied when the run reached it and
// logged no ERROR line while it was processed.
const char* Outcome(const PackageReport& package);

// The packages as text ("Package FILE (TYPE NAME DETAIL): applied", its
// window line and its first `shown` errors) and as a JSON array.
void PrintPackages(const std::vector<PackageReport>& packages, std::size_t shown);
std::string PackagesJson(const std::vector<PackageReport>& packages);

// A titled list as text ("Title: none" when empty), and a JSON array of texts.
void PrintList(const char* title, const std::vector<std::string>& items);
std::string JsonList(const std::vector<std::string>& items);

}  // namespace orvanta_sim
