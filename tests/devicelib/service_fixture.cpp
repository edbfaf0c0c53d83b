#include "tests/devicelib/service_fixture.h"

#include <filesystem>

#include "platform/file.h"

namespace servicetest {

std::vector<platform::Dword> ProcessesNamed(const std::string& exeFile) {
  std::vector<platform::ProcessEntry> processes;
  EXPECT_TRUE(platform::ListProcesses(&processes));
  std::vector<platform::Dword> ids;
  for (const platform::ProcessEntry& entry : processes) {
    bool same = entry.exeFile.size() == exeFile.size();
    for (std::size_t i = 0; same && i < exeFile.size(); ++i) {
      same = std::tolower(static_cast<unsigned char>(entry.exeFile[i])) ==
             std::tolower(static_cast<unsigned char>(exeFile[i]));
    }
    if (same) ids.push_back(entry.processId);
  }
  return ids;
}

void RemoveService() {
  for (platform::Dword id : ProcessesNamed("ZAMService.exe")) {
    platform::Process process = platform::OpenProcessById(id, platform::kMaximumAllowed);
    if (process.IsValid() && platform::TerminateProcess(process, 0)) platform::WaitForProcess(process, 5000);
  }
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  platform::ServiceHandle service = platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceAllAccess);
  if (service.IsValid()) platform::DeleteRegisteredService(service);
}

void InstallProgram(const std::string& program, const std::string& devicePath) {
  for (std::size_t cut = devicePath.find('\\', 3); cut != std::string::npos; cut = devicePath.find('\\', cut + 1)) {
    platform::MakeFolder(devicePath.substr(0, cut));
  }
  std::error_code error;
  std::filesystem::copy_file(testsupport::ProgramPath(program), testsupport::HostPathOf(devicePath),
                             std::filesystem::copy_options::overwrite_existing, error);
  ASSERT_FALSE(error) << devicePath << ": " << error.message();
  std::filesystem::permissions(testsupport::HostPathOf(devicePath), std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, error);
}

void ServiceTest::SetUp() {
  ScratchTest::SetUp();
  RemoveService();
  InstallProgram("zamservice", kProgram);
  ASSERT_TRUE(testsupport::WriteBytes(kLibrary, "communication library"));
  platform::RemoveFile(devicelib::kManualStartMarker);
}

void ServiceTest::TearDown() {
  RemoveService();
  platform::RemoveFile(devicelib::kManualStartMarker);
  ScratchTest::TearDown();
}

void ServiceTest::Register(const std::string& behaviour, platform::Dword startType) {
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  ASSERT_TRUE(manager.IsValid()) << platform::LastError();
  platform::ServiceRegistration registration;
  registration.name = "ZAMService";
  registration.displayName = "ZAMService";
  registration.serviceType = platform::kServiceWin32OwnProcess | platform::kServiceInteractiveProcess;
  registration.startType = startType;
  registration.binaryPath = kProgram + " " + behaviour;
  ASSERT_TRUE(platform::RegisterService(manager, registration, platform::kServiceAllAccess).IsValid())
      << platform::LastError();
  manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  ASSERT_TRUE(platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceQueryStatus).IsValid())
      << "ZAMService stays unregistered";
}

platform::Dword ServiceTest::State() {
  platform::ServiceHandle manager = platform::OpenServiceManager(platform::kScManagerAllAccess);
  platform::ServiceHandle service = platform::OpenRegisteredService(manager, "ZAMService", platform::kServiceAllAccess);
  platform::ServiceStatus status;
  if (!service.IsValid() || !platform::QueryServiceState(service, &status)) return 0;
  return status.currentState;
}

}  // namespace servicetest
