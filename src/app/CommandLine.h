// The program's command line, read before any Qt application object exists, so
// that --help, --version and every error work with no display and nothing of
// the GUI is started for them.
//
// Adding an option: declare it in CommandLine.cpp (MakeParser), carry its value
// into a field of TCommandLine in ParseCommandLine, and check it there. Values
// are the argument's bytes (Bytes() in CommandLine.cpp), never a decoded text:
// a folder or pattern named in a legacy encoding must reach the file system
// exactly as typed. A mode that runs without a window (an export, say) becomes
// one more TStartMode that main() handles before it creates the QApplication.
#pragma once

#include <QString>

#include <string>
#include <vector>

#include "core/scan/ScanFilters.h"

namespace vd::app {

// What main() does with the command line.
enum class TStartMode {
  Window,   // the update check, then the main window
  Help,     // print Text to stdout, exit 0
  Version,  // print Text to stdout, exit 0
  Error,    // print Text (one line) to stderr, exit kUsageExitCode, no window
  Export,   // scan, or read ScanFile, and write ExportFile: no window, no display
};

// What the window scans as soon as it opens.
enum class TStartScan {
  None,       // nothing: the window waits for the user
  Folder,     // TCommandLine::Folder, as if chosen and Scan pressed
  AllDrives,  // --all-drives
  File,       // read ScanFile (--open, or a file given as the argument)
};

inline constexpr int kUsageExitCode = 2;

struct TCommandLine {
  TStartMode Mode = TStartMode::Window;
  TStartScan Scan = TStartScan::None;
  // The folder to scan: absolute, without "." or ".." parts or a trailing
  // separator, in the argument's bytes.
  std::string Folder;
  // The scan file to read: absolute, in the argument's bytes; "-" (standard
  // input) only for an export.
  std::string ScanFile;
  // Where an export goes: a file name as given, or "-" for standard output.
  std::string ExportFile;
  // The filters of an exported scan (--exclude, --min-size, --modified-before),
  // checked: a bad text is an Error before anything runs.
  TScanFilters Filters;
  // False with --no-update-check: the window starts without asking the site.
  bool UpdateCheck = true;
  // The help text, the version line, or the error message (without the
  // program's name in front and without a line break).
  QString Text;
};

// `args` are the program's arguments as the system passed them, the program's
// own name first. Looks at the file system only to check a folder argument.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// The arguments of main() as bytes.
std::vector<std::string> ArgumentsOf(int argc, char** argv);

}  // namespace vd::app
