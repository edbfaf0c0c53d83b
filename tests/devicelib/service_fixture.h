#pragma once
// A device with the service stand-in installed as "C:\Windows\OEM\ZAMService.exe",
// its communication library beside it, and no ZAMService registered. Under
// Wine the registrations live in the prefix, which these tests have to
// themselves; every test leaves it as it found it.
#include <string>
#include <vector>

#include "devicelib/service_control.h"
#include "platform/process_list.h"
#include "platform/service.h"
#include "tests/support/scratch.h"

namespace servicetest {

const std::string kProgram = "C:\\Windows\\OEM\\ZAMService.exe";
const std::string kLibrary = "C:\\Windows\\OEM\\ZAMServiceComm.dll";

// Process ids of the running programs whose image is named `exeFile` (any case).
std::vector<platform::Dword> ProcessesNamed(const std::string& exeFile);

// Ends every program named ZAMService.exe and deletes the registration.
void RemoveService();

// Copies a program of this build to a device path (folders made as needed).
void InstallProgram(const std::string& program, const std::string& devicePath);

class ServiceTest : public testsupport::ScratchTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Registers ZAMService for "C:\Windows\OEM\ZAMService.exe BEHAVIOUR",
  // started on demand unless told otherwise.
  void Register(const std::string& behaviour, platform::Dword startType = platform::kServiceDemandStart);
  // The state the manager reports, or 0 when it cannot be asked.
  platform::Dword State();
};

}  // namespace servicetest
