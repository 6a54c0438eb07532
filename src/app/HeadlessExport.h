// The headless export: a scan (or a scan file read) written to a scan file,
// with no window, no display and nothing of the GUI library. What a server
// runs: `vorndale --export - / | gzip > host.json.gz`.
//
// - Progress goes to stderr: a live line redrawn about four times a second on a
//   terminal, otherwise one line every five seconds.
// - The file is written under a temporary name and renamed at the end, so a
//   stopped or failed run never leaves a half file under the final name.
// - SIGINT or SIGTERM cancels the scan context: the walk or the read stops
//   within one entry, nothing is written, and the status is 128 + the signal.
//   A second signal ends the program at once.
#pragma once

#include "app/CommandLine.h"

namespace vd::app {

// Exit statuses besides kUsageExitCode (bad arguments, found by the parser).
inline constexpr int kExportFailedExitCode = 1;

// Runs the export `cl` asks for (Mode Export); returns the exit status.
int RunHeadlessExport(const TCommandLine& cl);

}  // namespace vd::app
