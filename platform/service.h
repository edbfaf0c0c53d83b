#pragma once
// The service control manager of the local machine: registrations, starts,
// controls, status and deletion, and the program side through which a
// service program connects to the manager and reports its state.
//
// On the simulator the manager keeps its registrations and each service's
// state under sim/services/ and behaves as the device's does: a start runs
// the registered program, which must connect within the manager's time-out;
// a control is delivered to the running program and answered with its state;
// a service whose program has ended is stopped; a registration marked for
// deletion goes when its service stops.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/handle.h"

namespace platform {

// Manager and service access rights.
constexpr Dword kScManagerConnect = 0x0001;
constexpr Dword kScManagerCreateService = 0x0002;
constexpr Dword kScManagerAllAccess = 0xF003F;
constexpr Dword kServiceQueryStatus = 0x0004;
constexpr Dword kServiceStart = 0x0010;
constexpr Dword kServiceStop = 0x0020;
constexpr Dword kServiceDelete = 0x10000;
constexpr Dword kServiceAllAccess = 0xF01FF;

// Service types, start types and error control.
constexpr Dword kServiceWin32OwnProcess = 0x10;
constexpr Dword kServiceInteractiveProcess = 0x100;
constexpr Dword kServiceAutoStart = 2;
constexpr Dword kServiceDemandStart = 3;
constexpr Dword kServiceErrorNormal = 1;

// States.
constexpr Dword kServiceStopped = 1;
constexpr Dword kServiceStartPending = 2;
constexpr Dword kServiceStopPending = 3;
constexpr Dword kServiceRunning = 4;

// Controls, and the controls a running service accepts.
constexpr Dword kServiceControlStop = 1;
constexpr Dword kServiceControlInterrogate = 4;
constexpr Dword kServiceAcceptStop = 1;

constexpr Dword kErrorInvalidServiceControl = 1052;
constexpr Dword kErrorServiceRequestTimeout = 1053;
constexpr Dword kErrorServiceAlreadyRunning = 1056;
constexpr Dword kErrorServiceDoesNotExist = 1060;
constexpr Dword kErrorServiceCannotAcceptCtrl = 1061;
constexpr Dword kErrorServiceNotActive = 1062;
constexpr Dword kErrorFailedServiceControllerConnect = 1063;
constexpr Dword kErrorServiceMarkedForDelete = 1072;
constexpr Dword kErrorServiceExists = 1073;

// SERVICE_STATUS.
struct ServiceStatus {
  Dword serviceType = 0;
  Dword currentState = 0;
  Dword controlsAccepted = 0;
  Dword win32ExitCode = 0;
  Dword serviceSpecificExitCode = 0;
  Dword checkPoint = 0;
  Dword waitHint = 0;
};

// CloseServiceHandle; the last error is preserved.
void CloseServiceManagerHandle(std::intptr_t native);

// A handle of the service control manager or of one service; invalid as null.
using ServiceHandle = Handle<CloseServiceManagerHandle, 0>;

// What CreateService registers.
struct ServiceRegistration {
  std::string name;
  std::string displayName;
  Dword serviceType = kServiceWin32OwnProcess;
  Dword startType = kServiceDemandStart;
  Dword errorControl = kServiceErrorNormal;
  // The program and its arguments, as the manager runs it ("C:\...\x.exe arg").
  std::string binaryPath;
};

// OpenSCManager on the local machine's active database.
ServiceHandle OpenServiceManager(Dword access);
// OpenService; kErrorServiceDoesNotExist when nothing is registered under `name`.
ServiceHandle OpenRegisteredService(const ServiceHandle& manager, const std::string& name, Dword access);
// CreateService with no load-order group, tag, dependencies, account
// (LocalSystem) or password; kErrorServiceExists when the name is taken.
ServiceHandle RegisterService(const ServiceHandle& manager, const ServiceRegistration& registration, Dword access);
// StartService without arguments: runs the program and returns once it has
// connected; kErrorServiceAlreadyRunning when it is not stopped,
// kErrorServiceRequestTimeout when it does not connect in time.
bool StartRegisteredService(const ServiceHandle& service);
// ControlService: delivers `control` to the running program and fills
// `status` with the state it reports.
bool SendServiceControl(const ServiceHandle& service, Dword control, ServiceStatus* status);
// QueryServiceStatus.
bool QueryServiceState(const ServiceHandle& service, ServiceStatus* status);
// DeleteService: marks the registration for deletion; it goes once the
// service is stopped.
bool DeleteRegisteredService(const ServiceHandle& service);

// A registered service as the manager lists it.
struct ServiceEntry {
  std::string name;
  std::string displayName;
  std::string binaryPath;
  Dword startType = 0;
  Dword currentState = 0;
  Dword processId = 0;  // 0 when no program runs
};

// EnumServicesStatusEx over the own-process services, with each one's
// QueryServiceConfig; in the manager's order (by name).
bool ListServices(std::vector<ServiceEntry>* services);

// The program side. RunServiceProgram (StartServiceCtrlDispatcher) connects
// the calling program to the manager as the service `name`; it calls `main`
// on a thread of its own and every control that arrives with `handler` on
// the calling thread, and returns once the service has reported
// kServiceStopped. It fails with kErrorFailedServiceControllerConnect when
// the program was not started by the manager.
using ServiceMainFunction = void (*)();
using ServiceControlFunction = void (*)(Dword control);
bool RunServiceProgram(const std::string& name, ServiceMainFunction main, ServiceControlFunction handler);
// SetServiceStatus for the calling service program: its own-process type,
// `state`, the controls it accepts and its exit code.
bool ReportServiceState(Dword state, Dword controlsAccepted, Dword exitCode = 0);

}  // namespace platform
