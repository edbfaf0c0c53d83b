#include "platform/service.h"

#include <windows.h>

#include <vector>

#include "platform/fault.h"

namespace platform {
namespace {

SC_HANDLE Native(const ServiceHandle& handle) { return reinterpret_cast<SC_HANDLE>(handle.native()); }

ServiceHandle Own(SC_HANDLE handle) { return ServiceHandle(reinterpret_cast<std::intptr_t>(handle)); }

void Copy(const SERVICE_STATUS& from, ServiceStatus* to) {
  to->serviceType = from.dwServiceType;
  to->currentState = from.dwCurrentState;
  to->controlsAccepted = from.dwControlsAccepted;
  to->win32ExitCode = from.dwWin32ExitCode;
  to->serviceSpecificExitCode = from.dwServiceSpecificExitCode;
  to->checkPoint = from.dwCheckPoint;
  to->waitHint = from.dwWaitHint;
}

// The program side: one service per program, reached from the callbacks the
// dispatcher makes.
std::string g_name;
ServiceMainFunction g_main = nullptr;
ServiceControlFunction g_handler = nullptr;
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;

VOID WINAPI Handler(DWORD control) { g_handler(control); }

VOID WINAPI Main(DWORD, LPSTR*) {
  g_statusHandle = ::RegisterServiceCtrlHandlerA(g_name.c_str(), Handler);
  if (g_statusHandle == nullptr) return;
  g_main();
}

}  // namespace

void CloseServiceManagerHandle(std::intptr_t native) {
  DWORD saved = ::GetLastError();
  ::CloseServiceHandle(reinterpret_cast<SC_HANDLE>(native));
  ::SetLastError(saved);
}

ServiceHandle OpenServiceManager(Dword access) {
  if (FaultHit(FaultOp::OpenServiceManager)) return ServiceHandle();
  return Own(::OpenSCManagerA(nullptr, nullptr, access));
}

ServiceHandle OpenRegisteredService(const ServiceHandle& manager, const std::string& name, Dword access) {
  if (FaultHit(FaultOp::OpenService)) return ServiceHandle();
  return Own(::OpenServiceA(Native(manager), name.c_str(), access));
}

ServiceHandle RegisterService(const ServiceHandle& manager, const ServiceRegistration& registration, Dword access) {
  if (FaultHit(FaultOp::CreateService)) return ServiceHandle();
  return Own(::CreateServiceA(Native(manager), registration.name.c_str(), registration.displayName.c_str(), access,
                              registration.serviceType, registration.startType, registration.errorControl,
                              registration.binaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
}

bool StartRegisteredService(const ServiceHandle& service) {
  if (FaultHit(FaultOp::StartService)) return false;
  return ::StartServiceA(Native(service), 0, nullptr) != FALSE;
}

bool SendServiceControl(const ServiceHandle& service, Dword control, ServiceStatus* status) {
  if (FaultHit(FaultOp::ControlService)) return false;
  SERVICE_STATUS native = {};
  BOOL ok = ::ControlService(Native(service), control, &native);
  Copy(native, status);
  return ok != FALSE;
}

bool QueryServiceState(const ServiceHandle& service, ServiceStatus* status) {
  if (FaultHit(FaultOp::QueryServiceStatus)) return false;
  SERVICE_STATUS native = {};
  BOOL ok = ::QueryServiceStatus(Native(service), &native);
  Copy(native, status);
  return ok != FALSE;
}

bool DeleteRegisteredService(const ServiceHandle& service) {
  if (FaultHit(FaultOp::DeleteService)) return false;
  return ::DeleteService(Native(service)) != FALSE;
}

bool ListServices(std::vector<ServiceEntry>* services) {
  services->clear();
  SC_HANDLE manager = ::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE | SC_MANAGER_CONNECT);
  if (manager == nullptr) return false;
  std::vector<BYTE> buffer;
  DWORD needed = 0, count = 0, resume = 0;
  BOOL ok = FALSE;
  for (;;) {
    ok = ::EnumServicesStatusExA(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32_OWN_PROCESS, SERVICE_STATE_ALL,
                                 buffer.empty() ? nullptr : buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                                 &count, &resume, nullptr);
    if (ok || ::GetLastError() != ERROR_MORE_DATA || needed == 0) break;
    // Listed again from the start, into a buffer that holds them all.
    buffer.resize(buffer.size() + needed);
    resume = 0;
  }
  if (!ok) {
    DWORD error = ::GetLastError();
    ::CloseServiceHandle(manager);
    ::SetLastError(error);
    return false;
  }
  const auto* listed = reinterpret_cast<const ENUM_SERVICE_STATUS_PROCESSA*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    ServiceEntry entry;
    entry.name = listed[i].lpServiceName;
    entry.displayName = listed[i].lpDisplayName != nullptr ? listed[i].lpDisplayName : "";
    entry.currentState = listed[i].ServiceStatusProcess.dwCurrentState;
    entry.processId = listed[i].ServiceStatusProcess.dwProcessId;
    SC_HANDLE service = ::OpenServiceA(manager, entry.name.c_str(), SERVICE_QUERY_CONFIG);
    if (service != nullptr) {
      DWORD size = 0;
      ::QueryServiceConfigA(service, nullptr, 0, &size);
      std::vector<BYTE> config(size > 0 ? size : sizeof(QUERY_SERVICE_CONFIGA));
      auto* data = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(config.data());
      if (::QueryServiceConfigA(service, data, static_cast<DWORD>(config.size()), &size)) {
        entry.binaryPath = data->lpBinaryPathName != nullptr ? data->lpBinaryPathName : "";
        entry.startType = data->dwStartType;
      }
      ::CloseServiceHandle(service);
    }
    services->push_back(entry);
  }
  ::CloseServiceHandle(manager);
  return true;
}

bool RunServiceProgram(const std::string& name, ServiceMainFunction main, ServiceControlFunction handler) {
  g_name = name;
  g_main = main;
  g_handler = handler;
  SERVICE_TABLE_ENTRYA table[] = {{g_name.data(), Main}, {nullptr, nullptr}};
  return ::StartServiceCtrlDispatcherA(table) != FALSE;
}

bool ReportServiceState(Dword state, Dword controlsAccepted, Dword exitCode) {
  if (g_statusHandle == nullptr) {
    ::SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = controlsAccepted;
  status.dwWin32ExitCode = exitCode;
  return ::SetServiceStatus(g_statusHandle, &status) != FALSE;
}

}  // namespace platform
