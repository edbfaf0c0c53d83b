// Power management of the simulated device, in files under sim/:
// connected-standby ("on" or "off", off when absent), power-scheme.tsv (the
// active scheme's values, "SUBGROUP<TAB>SETTING<TAB>ac|dc<TAB>VALUE") and
// power-requests.tsv (the requests held: "PID<TAB>REQUEST<TAB>TYPE<TAB>REASON").
// Requests of a process that has ended are dropped, as the system drops them.
#include "platform/power.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <vector>

#include "platform/fault.h"
#include "platform/posix/sim_device.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr const char* kSchemeFile = "power-scheme.tsv";
constexpr const char* kRequestsFile = "power-requests.tsv";

// The Balanced scheme, which the simulated device always has active.
const Guid kActiveScheme = {0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};

// The reasons of the requests this process created, by handle value.
std::map<std::intptr_t, std::string>& Reasons() {
  static std::map<std::intptr_t, std::string> reasons;
  return reasons;
}

const char* TypeName(PowerRequestType type) {
  switch (type) {
    case PowerRequestType::DisplayRequired:
      return "PowerRequestDisplayRequired";
    case PowerRequestType::SystemRequired:
      return "PowerRequestSystemRequired";
    case PowerRequestType::AwayModeRequired:
      return "PowerRequestAwayModeRequired";
    case PowerRequestType::ExecutionRequired:
      return "PowerRequestExecutionRequired";
  }
  return "?";
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

bool ProcessAlive(const std::string& pid) {
  long id = std::strtol(pid.c_str(), nullptr, 10);
  return id > 0 && (kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM);
}

// The requests held by processes still running.
std::vector<std::string> LiveRequests() {
  std::vector<std::string> live;
  for (const std::string& line : sim::ReadSimLines(kRequestsFile)) {
    if (ProcessAlive(Fields(line)[0])) live.push_back(line);
  }
  return live;
}

std::string RequestKey(std::intptr_t native) { return std::to_string(getpid()) + "\t" + std::to_string(native); }

void RecordRequest(const char* event, std::intptr_t native, PowerRequestType type) {
  sim::RecordEvent(event, std::string(TypeName(type)) + " (" + std::to_string(static_cast<int>(type)) +
                              "), process " + std::to_string(getpid()) + ": " + Reasons()[native]);
}

bool ValidRequest(const PowerRequest& request) {
  return request.IsValid() && Reasons().count(request.native()) != 0 ? true : sim::Fail(kErrorInvalidHandle);
}

const char* Side(bool ac) { return ac ? "ac" : "dc"; }

bool ReadValue(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, bool ac, Dword* value) {
  if (!scheme.IsValid()) return sim::Fail(kErrorInvalidParameter);
  for (const std::string& line : sim::ReadSimLines(kSchemeFile)) {
    std::vector<std::string> f = Fields(line);
    Guid lineSubgroup;
    Guid lineSetting;
    if (f.size() == 4 && ParseGuid(f[0], &lineSubgroup) && ParseGuid(f[1], &lineSetting) && lineSubgroup == subgroup &&
        lineSetting == setting && f[2] == Side(ac)) {
      *value = static_cast<Dword>(std::strtoul(f[3].c_str(), nullptr, 10));
      return true;
    }
  }
  return sim::Fail(kErrorFileNotFound);
}

bool WriteValue(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, bool ac, Dword value) {
  if (!scheme.IsValid()) return sim::Fail(kErrorInvalidParameter);
  std::vector<std::string> lines;
  for (const std::string& line : sim::ReadSimLines(kSchemeFile)) {
    std::vector<std::string> f = Fields(line);
    Guid lineSubgroup;
    Guid lineSetting;
    if (f.size() == 4 && ParseGuid(f[0], &lineSubgroup) && ParseGuid(f[1], &lineSetting) && lineSubgroup == subgroup &&
        lineSetting == setting && f[2] == Side(ac)) {
      continue;
    }
    lines.push_back(line);
  }
  lines.push_back(GuidText(subgroup) + "\t" + GuidText(setting) + "\t" + Side(ac) + "\t" + std::to_string(value));
  if (!sim::WriteSimLines(kSchemeFile, lines)) return false;
  char hex[16];
  std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(value));
  sim::RecordEvent("power-scheme-write", std::string(ac ? "AC" : "DC") + " value of " + GuidText(setting) +
                                             " in subgroup " + GuidText(subgroup) + " = " + hex);
  return true;
}

}  // namespace

void ClosePowerRequest(std::intptr_t native) {
  Dword saved = LastError();
  std::string key = RequestKey(native) + "\t";
  std::vector<std::string> kept;
  std::vector<std::string> dropped;
  for (const std::string& line : LiveRequests()) {
    (line.compare(0, key.size(), key) == 0 ? dropped : kept).push_back(line);
  }
  if (!dropped.empty()) {
    sim::WriteSimLines(kRequestsFile, kept);
    for (const std::string& line : dropped) {
      int type = std::atoi(Fields(line)[2].c_str());
      RecordRequest("power-request-clear", native, static_cast<PowerRequestType>(type));
    }
  }
  Reasons().erase(native);
  SetLastErrorCode(saved);
}

PowerRequest CreatePowerRequest(const std::u16string& reason) {
  if (FaultHit(FaultOp::CreatePowerRequest)) return PowerRequest();
  static std::intptr_t next = 0;
  Reasons()[++next] = WideToNarrow(reason);
  return PowerRequest(next);
}

bool SetPowerRequest(const PowerRequest& request, PowerRequestType type) {
  if (FaultHit(FaultOp::SetPowerRequest)) return false;
  if (!ValidRequest(request)) return false;
  std::vector<std::string> lines = LiveRequests();
  lines.push_back(RequestKey(request.native()) + "\t" + std::to_string(static_cast<int>(type)) + "\t" +
                  sim::HostName(Reasons()[request.native()]));
  if (!sim::WriteSimLines(kRequestsFile, lines)) return false;
  RecordRequest("power-request-set", request.native(), type);
  return true;
}

bool ClearPowerRequest(const PowerRequest& request, PowerRequestType type) {
  if (FaultHit(FaultOp::ClearPowerRequest)) return false;
  if (!ValidRequest(request)) return false;
  std::string key = RequestKey(request.native()) + "\t" + std::to_string(static_cast<int>(type)) + "\t";
  std::vector<std::string> lines = LiveRequests();
  for (auto it = lines.begin(); it != lines.end(); ++it) {
    if (it->compare(0, key.size(), key) == 0) {
      lines.erase(it);
      if (!sim::WriteSimLines(kRequestsFile, lines)) return false;
      RecordRequest("power-request-clear", request.native(), type);
      return true;
    }
  }
  // Clearing a type the request does not hold.
  return sim::Fail(kErrorInvalidParameter);
}

bool QueryPowerCapabilities(PowerCapabilities* capabilities) {
  if (FaultHit(FaultOp::PowerCapabilities)) return false;
  std::vector<std::string> lines = sim::ReadSimLines("connected-standby");
  capabilities->aoAc = !lines.empty() && lines[0] == "on";
  return true;
}

void FreePowerScheme(std::intptr_t native) { delete reinterpret_cast<Guid*>(native); }

PowerScheme GetActivePowerScheme() {
  if (FaultHit(FaultOp::ActivePowerScheme)) return PowerScheme();
  return PowerScheme(reinterpret_cast<std::intptr_t>(new Guid(kActiveScheme)));
}

bool ReadAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value) {
  if (FaultHit(FaultOp::ReadAcValue)) return false;
  return ReadValue(scheme, subgroup, setting, true, value);
}

bool ReadDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value) {
  if (FaultHit(FaultOp::ReadDcValue)) return false;
  return ReadValue(scheme, subgroup, setting, false, value);
}

bool WriteAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value) {
  if (FaultHit(FaultOp::WriteAcValue)) return false;
  return WriteValue(scheme, subgroup, setting, true, value);
}

bool WriteDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value) {
  if (FaultHit(FaultOp::WriteDcValue)) return false;
  return WriteValue(scheme, subgroup, setting, false, value);
}

bool SetActivePowerScheme(const PowerScheme& scheme) {
  if (FaultHit(FaultOp::SetActivePowerScheme)) return false;
  if (!scheme.IsValid()) return sim::Fail(kErrorInvalidParameter);
  sim::RecordEvent("power-scheme-activate", GuidText(*reinterpret_cast<const Guid*>(scheme.native())));
  return true;
}

}  // namespace platform
