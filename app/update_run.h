#pragma once
// The update run: the start-up sequence of the process, the main update
// sequence over every package of the descriptor, the installer runs and the
// final decision.
#include <cstdint>
#include <string>

namespace app {

// The tool's version, the first line of every run in the log.
extern const char kToolVersion[];

// WinMain's work: log header, command line ("%08X %s": launching process id
// and language tag), language, window, the run. 0 after a run, 1 when the
// window cannot be created.
int UpdaterMain(const std::string& commandLine, int showCommand);

// The main sequence. True when it refused to run (no process id).
bool UpdateMain(std::uint32_t processId);

// The hardware-library step on a device: stops the device service, retrying
// for 30 s of clock time, waits up to 10 s each for its program and its
// communication library to become writable, and logs "Service stopped.", or
// an error when the service still runs (its files in use are then deferred).
void StopServiceForHardwareLibraries();

// Closes and deletes the in-use marker; a second call does nothing.
void ReleaseMarker();

}  // namespace app
