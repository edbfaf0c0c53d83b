// Power requests come from kernel32; the capability query and the power
// scheme calls from "powrprof.dll", looked up at run time: a system that
// lacks one of them (Wine exports no PowerReadACValueIndex) then fails the
// call instead of refusing to start the program.
#include "platform/power.h"

#include <windows.h>

#include <cstring>

#include "platform/fault.h"

namespace platform {
namespace {

static_assert(sizeof(Guid) == sizeof(GUID));

GUID Native(const Guid& guid) {
  GUID native;
  std::memcpy(&native, &guid, sizeof(native));
  return native;
}

// The entry `name` of powrprof.dll, loaded once for the process; null (with
// ERROR_PROC_NOT_FOUND) when it is not there.
template <typename Fn>
Fn PowrProf(const char* name) {
  static HMODULE module = ::LoadLibraryA("powrprof.dll");
  FARPROC entry = module == nullptr ? nullptr : ::GetProcAddress(module, name);
  if (entry == nullptr) ::SetLastError(ERROR_PROC_NOT_FOUND);
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(entry));
}

// The power-scheme calls return their error instead of setting it.
bool Done(DWORD status) {
  if (status == ERROR_SUCCESS) return true;
  ::SetLastError(status);
  return false;
}

const GUID* SchemeOf(const PowerScheme& scheme) { return reinterpret_cast<const GUID*>(scheme.native()); }

using ReadFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, LPDWORD);
using WriteFn = DWORD(WINAPI*)(HKEY, const GUID*, const GUID*, const GUID*, DWORD);

bool ReadIndex(const char* name, const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value) {
  auto read = PowrProf<ReadFn>(name);
  if (read == nullptr) return false;
  GUID sub = Native(subgroup);
  GUID set = Native(setting);
  DWORD index = 0;
  if (!Done(read(nullptr, SchemeOf(scheme), &sub, &set, &index))) return false;
  *value = index;
  return true;
}

bool WriteIndex(const char* name, const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value) {
  auto write = PowrProf<WriteFn>(name);
  if (write == nullptr) return false;
  GUID sub = Native(subgroup);
  GUID set = Native(setting);
  return Done(write(nullptr, SchemeOf(scheme), &sub, &set, value));
}

}  // namespace

void ClosePowerRequest(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::CloseHandle(reinterpret_cast<HANDLE>(native));
  ::SetLastError(saved);
}

PowerRequest CreatePowerRequest(const std::u16string& reason) {
  if (FaultHit(FaultOp::CreatePowerRequest)) return PowerRequest();
  std::wstring text(reason.begin(), reason.end());
  REASON_CONTEXT context = {};
  context.Version = POWER_REQUEST_CONTEXT_VERSION;
  context.Flags = POWER_REQUEST_CONTEXT_SIMPLE_STRING;
  context.Reason.SimpleReasonString = text.data();
  HANDLE request = ::PowerCreateRequest(&context);
  return PowerRequest(reinterpret_cast<std::intptr_t>(request));
}

bool SetPowerRequest(const PowerRequest& request, PowerRequestType type) {
  if (FaultHit(FaultOp::SetPowerRequest)) return false;
  return ::PowerSetRequest(reinterpret_cast<HANDLE>(request.native()), static_cast<POWER_REQUEST_TYPE>(type)) != FALSE;
}

bool ClearPowerRequest(const PowerRequest& request, PowerRequestType type) {
  if (FaultHit(FaultOp::ClearPowerRequest)) return false;
  return ::PowerClearRequest(reinterpret_cast<HANDLE>(request.native()), static_cast<POWER_REQUEST_TYPE>(type)) !=
         FALSE;
}

bool QueryPowerCapabilities(PowerCapabilities* capabilities) {
  if (FaultHit(FaultOp::PowerCapabilities)) return false;
  using QueryFn = LONG(WINAPI*)(POWER_INFORMATION_LEVEL, PVOID, ULONG, PVOID, ULONG);
  auto query = PowrProf<QueryFn>("CallNtPowerInformation");
  if (query == nullptr) return false;
  SYSTEM_POWER_CAPABILITIES native = {};
  static_assert(sizeof(native) > 20, "AoAc is byte 20 of SYSTEM_POWER_CAPABILITIES");
  LONG status = query(SystemPowerCapabilities, nullptr, 0, &native, sizeof(native));
  if (status != 0) {
    ::SetLastError(static_cast<DWORD>(status));
    return false;
  }
  // mingw's record names byte 20 spare2[2]; the system's calls it AoAc.
  capabilities->aoAc = reinterpret_cast<const unsigned char*>(&native)[20] != 0;
  return true;
}

void FreePowerScheme(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::LocalFree(reinterpret_cast<HLOCAL>(native));
  ::SetLastError(saved);
}

PowerScheme GetActivePowerScheme() {
  if (FaultHit(FaultOp::ActivePowerScheme)) return PowerScheme();
  using GetFn = DWORD(WINAPI*)(HKEY, GUID**);
  auto get = PowrProf<GetFn>("PowerGetActiveScheme");
  if (get == nullptr) return PowerScheme();
  GUID* scheme = nullptr;
  if (!Done(get(nullptr, &scheme))) return PowerScheme();
  return PowerScheme(reinterpret_cast<std::intptr_t>(scheme));
}

bool ReadAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value) {
  if (FaultHit(FaultOp::ReadAcValue)) return false;
  return ReadIndex("PowerReadACValueIndex", scheme, subgroup, setting, value);
}

bool ReadDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword* value) {
  if (FaultHit(FaultOp::ReadDcValue)) return false;
  return ReadIndex("PowerReadDCValueIndex", scheme, subgroup, setting, value);
}

bool WriteAcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value) {
  if (FaultHit(FaultOp::WriteAcValue)) return false;
  return WriteIndex("PowerWriteACValueIndex", scheme, subgroup, setting, value);
}

bool WriteDcValueIndex(const PowerScheme& scheme, const Guid& subgroup, const Guid& setting, Dword value) {
  if (FaultHit(FaultOp::WriteDcValue)) return false;
  return WriteIndex("PowerWriteDCValueIndex", scheme, subgroup, setting, value);
}

bool SetActivePowerScheme(const PowerScheme& scheme) {
  if (FaultHit(FaultOp::SetActivePowerScheme)) return false;
  using SetFn = DWORD(WINAPI*)(HKEY, const GUID*);
  auto set = PowrProf<SetFn>("PowerSetActiveScheme");
  if (set == nullptr) return false;
  return Done(set(nullptr, SchemeOf(scheme)));
}

}  // namespace platform
