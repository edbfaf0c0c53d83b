#include "tools/orvanta-sim/simulator/run_report.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>

#include "app/messages.h"
#include "package/layout.h"
#include "package/minisign.h"
#include "platform/text.h"
#include "tools/common/json.h"
#include "version/package_type.h"

namespace orvanta_sim {

std::string ReadStart(const fs::path& path, std::uint64_t limit) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  std::streamoff end = in.tellg();
  if (!in || end < 0) return {};
  std::string bytes(std::min<std::uint64_t>(static_cast<std::uint64_t>(end), limit), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

std::string ReadAll(const fs::path& path) { return ReadStart(path, UINT64_MAX); }

bool ReadPackageHeader(const std::string& bytes, PackageReport* package) {
  if (bytes.size() < package::kHeaderSize) return false;
  package::UpdateFileHeader header;
  package::DecodeHeader(reinterpret_cast<const std::uint8_t*>(bytes.data()), &header);
  std::uint32_t type = header.PackageType;
  package->type = type < version::kPackageTypeCount
                      ? platform::WideToUtf8(version::PackageTypeName(static_cast<version::PackageType>(type)))
                      : "?";
  package->name = platform::NarrowToUtf8(platform::WideToNarrow(package::HeaderText(header.Name)));
  package->detail = platform::NarrowToUtf8(platform::WideToNarrow(package::HeaderText(header.Detail)));
  return true;
}

std::vector<std::string> LogLines(const std::string& log, std::size_t offset) {
  std::vector<std::string> lines;
  std::size_t start = offset;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.size() > 24 && line[4] == '-' && line[23] == ' ') line = line.substr(24);
    if (!line.empty()) lines.push_back(platform::NarrowToUtf8(line));
    start = end + 2;
  }
  return lines;
}

void ReadRun(const std::vector<std::string>& lines, const std::string& window, RunReport* run) {
  std::size_t current = 0;
  bool inPackage = false;
  bool inDecision = false;
  for (const std::string& line : lines) {
    if (line.rfind("Processing \"", 0) == 0) {
      if (inPackage) ++current;
      inPackage = true;
      if (current < run->packages.size()) run->packages[current].processed = true;
    }
    if (line == "Update info loaded") run->loaded = true;
    if (line == "End updater execution.") run->ended = true;
    if (line.rfind("Main update process finished", 0) == 0) {
      inPackage = false;
      inDecision = true;
    }
    if (line == "End of main().") inDecision = false;
    if (inDecision) run->decisionLines.push_back(line);
    if (line.rfind("ERROR: ", 0) == 0) {
      run->errors.push_back(line);
      if (inPackage && current < run->packages.size()) run->packages[current].errors.push_back(line);
    }
    if (line == "We're on a device. Shutting down.") run->decision = "restart";
    if (line == "Not on a device. Prompting user to shut down.") run->decision = "prompt";
    if (line == "Restarting the service.") run->decision = "service";
    if (line == "Restarting the service is not necessary.") run->decision = "application";
    if (line.rfind("Main update process finished", 0) == 0 && line.find(" 0 installers") == std::string::npos) {
      run->decision = "installers";
    }
  }
  // The window shows each package as " TYPE  Name  Detail - stage  NN%".
  std::vector<std::string> windowLines;
  for (std::size_t start = 0; start < window.size();) {
    std::size_t end = window.find('\n', start);
    if (end == std::string::npos) end = window.size();
    std::string line = window.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    windowLines.push_back(line);
    start = end + 1;
  }
  std::size_t from = 0;
  for (PackageReport& package : run->packages) {
    std::string head = " " + package.type + "  " + package.name + "  ";
    for (std::size_t i = from; i < windowLines.size(); ++i) {
      if (windowLines[i].rfind(head, 0) == 0) {
        package.status = windowLines[i].substr(1);
        while (!package.status.empty() && package.status.back() == ' ') package.status.pop_back();
        from = i + 1;
        break;
      }
    }
  }
}

std::string LanguageWarning(const std::string& command, const std::string& tag) {
  if (app::HasLanguage(tag)) return std::string();
  return "orvanta-sim " + command + ": warning: the update tool has no messages in " + tag +
         "; it shows them in the user's language (LC_ALL, LANG) or else in English\n";
}

void ReadPackageSignature(const fs::path& path, PackageReport* package) {
  fs::path signatureFile = path;
  signatureFile += ".minisig";
  std::string text = ReadStart(signatureFile, 64 * 1024);
  minisign::Signature signature;
  if (text.empty()) {
    package->unsignedWhy = "no " + signatureFile.filename().string() + " beside it";
  } else if (!minisign::ParseSignature(text, &signature, &package->unsignedWhy)) {
    package->unsignedWhy = "a malformed signature file: " + package->unsignedWhy;
  } else {
    package->signedBy = minisign::KeyIdText(signature.keyId);
    package->algorithm = signature.prehashed ? "prehashed" : "legacy";
    package->trustedComment = signature.trustedComment;
  }
}

bool ReadDeviceKeys(const fs::path& root, std::vector<std::string>* keys) {
  std::error_code code;
  fs::path file = HostPathOf(root, kDeviceKeys);
  for (const minisign::PublicKey& key : minisign::ParsePublicKeys(ReadStart(file, 1 << 20))) {
    keys->push_back(minisign::KeyIdText(key.id));
  }
  return fs::exists(file, code);
}

std::string SignatureText(const PackageReport& p) {
  if (p.signedBy.empty()) return "unsigned (" + p.unsignedWhy + ")";
  return "signed by key " + p.signedBy + " (" + p.algorithm + "), trusted comment: " + p.trustedComment;
}

const char* Outcome(const PackageReport& package) {
  if (!package.errors.empty()) return "failed";
  return package.processed ? "applied" : "not reached";
}

void PrintPackages(const std::vector<PackageReport>& packages, std::size_t shown) {
  for (const PackageReport& p : packages) {
    std::string count;
    if (!p.errors.empty()) count = ", " + std::to_string(p.errors.size()) + (p.errors.size() == 1 ? " ERROR line" : " ERROR lines");
    std::printf("Package %s (%s %s %s): %s%s\n", p.file.c_str(), p.type.c_str(), p.name.c_str(), p.detail.c_str(),
                Outcome(p), count.c_str());
    std::printf("  signature: %s\n", SignatureText(p).c_str());
    std::printf("  window: %s\n", p.status.empty() ? "(no line)" : p.status.c_str());
    for (std::size_t i = 0; i < p.errors.size() && i < shown; ++i) std::printf("  %s\n", p.errors[i].c_str());
    if (p.errors.size() > shown) std::printf("  (%zu more)\n", p.errors.size() - shown);
  }
}

std::string PackagesJson(const std::vector<PackageReport>& packages) {
  using tools::JsonString;
  std::string out = "[";
  for (std::size_t i = 0; i < packages.size(); ++i) {
    const PackageReport& p = packages[i];
    out += std::string(i == 0 ? "\n" : ",\n") + "    {\"file\": " + JsonString(p.file) + ", \"type\": " +
           JsonString(p.type) + ", \"name\": " + JsonString(p.name) + ", \"detail\": " + JsonString(p.detail) +
           ", \"status\": " + JsonString(p.status) + ", \"outcome\": " + JsonString(Outcome(p)) +
           ", \"errors\": " + JsonList(p.errors) + ", \"signedBy\": " + JsonString(p.signedBy) +
           ", \"algorithm\": " + JsonString(p.algorithm) + ", \"trustedComment\": " + JsonString(p.trustedComment) +
           ", \"unsigned\": " + JsonString(p.unsignedWhy) + "}";
  }
  return out + "\n  ]";
}

void PrintList(const char* title, const std::vector<std::string>& items) {
  std::printf("%s:%s\n", title, items.empty() ? " none" : "");
  for (const std::string& item : items) std::printf("  %s\n", item.c_str());
}

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) out += (i == 0 ? "" : ", ") + tools::JsonString(items[i]);
  return out + "]";
}

}  // namespace orvanta_sim
