#pragma once
// The update descriptor "UpdateInfo.xml" in the working directory: whether the
// tool runs on the device, the destination folder of each package type, and
// the package files to apply.

namespace app {

// True (demo mode) when the descriptor has an UpdateInfo element whose
// IsTargetHardware text is not exactly "true"; false when the file is missing,
// does not parse or has no UpdateInfo. Changes no run-wide state.
bool ReadIsTargetHardware();

// Fills bOnDevice, LocationPaths and UpdateFiles of the run-wide state. An
// unusable descriptor changes nothing; the result is true in every case.
bool bLoadUpdateInfo();

}  // namespace app
