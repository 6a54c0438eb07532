#include "app/HeadlessExport.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

#include "app/TerminalText.h"
#include "core/dump/ScanDump.h"
#include "core/results/Format.h"
#include "core/scan/SizeMeasure.h"
#include "core/scan/ScanWalk.h"
#include "platform/Platform.h"

namespace vd::app {

namespace {

// The flag a stop signal sets: the running scan context's.
std::atomic<std::atomic<int32_t>*> gCancelFlag{nullptr};
volatile std::sig_atomic_t gStopSignal = 0;
static_assert(std::atomic<int32_t>::is_always_lock_free && std::atomic<std::atomic<int32_t>*>::is_always_lock_free,
              "set from a signal handler");

extern "C" void OnStopSignal(int sig) {
  gStopSignal = sig;
  if (std::atomic<int32_t>* flag = gCancelFlag.load()) flag->store(1);
  // A second one is not waited for.
  std::signal(sig, SIG_DFL);
}

class TStopSignals {
 public:
  explicit TStopSignals(std::atomic<int32_t>& flag) {
    gCancelFlag.store(&flag);
    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
  }
  ~TStopSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    gCancelFlag.store(nullptr);
  }
  TStopSignals(const TStopSignals&) = delete;
  TStopSignals& operator=(const TStopSignals&) = delete;
};

bool StderrIsTerminal() {
#ifdef _WIN32
  return ::_isatty(::_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

int TerminalColumns() {
#ifndef _WIN32
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col >= 20) return ws.ws_col;
#endif
  return 80;
}

// Characters a terminal shows for UTF-8 bytes (continuation bytes add none).
size_t Columns(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// Progress on stderr: on a terminal one line redrawn in place at most every
// 250 ms, cut to the terminal's width; otherwise a new line every 5 s.
class TProgressLine {
 public:
  TProgressLine() : FTerminal(StderrIsTerminal()), FLast(platform::GetTickCount()) {}

  // `text` is what the line says; `tail` (a path) is cut from the left to fit.
  void Show(const std::string& text, const std::string& tail = {}, bool now = false) {
    const uint32_t t = platform::GetTickCount();
    if (!now && uint32_t(t - FLast) < (FTerminal ? 250u : 5000u)) return;
    FLast = t;
    std::string line = text;
    std::string rest = TerminalText(tail);
    if (FTerminal) {
      const size_t width = size_t(TerminalColumns()) - 1;
      const size_t room = width > Columns(line) + 2 ? width - Columns(line) - 2 : 0;
      if (Columns(rest) > room) {
        // Keep the end of the path: the folder's own name is what tells.
        size_t cut = 0;
        for (size_t left = Columns(rest); cut < rest.size() && left + 3 > room; ++cut)
          left -= (static_cast<unsigned char>(rest[cut]) & 0xC0) != 0x80;
        while (cut < rest.size() && (static_cast<unsigned char>(rest[cut]) & 0xC0) == 0x80) ++cut;
        rest = room >= 3 ? "..." + rest.substr(cut) : std::string();
      }
      Join(line, rest);
      std::fprintf(stderr, "\r\x1b[K%s", line.c_str());
      FLive = true;
    } else {
      Join(line, rest);
      std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stderr);
  }

  // A line of its own, after clearing the live one.
  void Say(const std::string& text) {
    End();
    std::fprintf(stderr, "%s\n", TerminalText(text).c_str());
    std::fflush(stderr);
  }

  void End() {
    if (FLive) std::fputs("\r\x1b[K", stderr);
    FLive = false;
  }

 private:
  static void Join(std::string& line, const std::string& tail) {
    if (!tail.empty()) line += (line.back() == ':' ? " " : "  ") + tail;
  }
  bool FTerminal;
  bool FLive = false;
  uint32_t FLast;
};

std::string Counts(int64_t dirs, int64_t files) {
  return std::to_string(dirs) + " folders, " + std::to_string(files) + " files";
}

int64_t FileSizeOrZero(const std::string& path) {
  std::error_code ec;
  const auto n = std::filesystem::file_size(path, ec);
  return ec ? 0 : int64_t(n);
}

}  // namespace

int RunHeadlessExport(const TCommandLine& cl) {
  TScanContext context;
  ApplyFilters(cl.Filters, context);
  TStopSignals stopSignals(context.FCancelled);
  TProgressLine progress;

  std::unique_ptr<TDirNode> root;
  int64_t timestamp = -1;  // now, for a scan
  std::optional<std::string> host;  // this machine, for a scan
  const std::string out = cl.ExportFile == "-" ? std::string("standard output") : cl.ExportFile;
  try {
    if (cl.Scan == TStartScan::File) {
      const std::string name = cl.ScanFile == "-" ? std::string("standard input") : cl.ScanFile;
      const int64_t size = cl.ScanFile == "-" ? 0 : FileSizeOrZero(cl.ScanFile);
      progress.Show("Reading:", name, true);
      TScanFileReadOptions o;
      o.Cancel = &context.FCancelled;
      o.OnProgress = [&](int64_t, int64_t raw, int64_t files, int64_t folders) {
        std::string text = "Reading: " + FormatSize(raw);
        if (size > 0) text += " of " + FormatSize(size);
        progress.Show(text + ", " + Counts(folders, files), name);
      };
      try {
        TScanFileRead read = ReadScanFile(cl.ScanFile, o);
        root = std::move(read.Root);
        // A conversion keeps the date of the scan.
        if (read.Info.Timestamp > 0) timestamp = read.Info.Timestamp;
        // And the machine it names, or none: a conversion is not a scan of here.
        host = read.Info.HostName;
      } catch (const EScanFileError& e) {
        progress.Say("vorndale: " + name + ": " + e.what());
        return kExportFailedExitCode;
      }
    } else {
      const bool allDrives = cl.Scan == TStartScan::AllDrives;
      const std::vector<std::string> drives = allDrives ? platform::GetDrives() : std::vector<std::string>();
      if (allDrives && drives.empty()) {
        progress.Say("vorndale: No drives found.");
        return kExportFailedExitCode;
      }
      progress.Show("Scanning:", allDrives ? std::string("all drives") : cl.Folder, true);
      TWalkOptions o;
      o.ThrottleMs = 100;
      o.OnProgress = [&](const std::string& path, int64_t files, int64_t dirs, int64_t bytes) {
        progress.Show("Scanning: " + Counts(dirs, files) + ", " + FormatSize(bytes), path);
      };
      root = WalkScanSource(context, allDrives, cl.Folder, drives, o);
    }
    if (context.IsCancelled() || !root) {
      progress.Say("Cancelled");
      return 128 + (gStopSignal ? int(gStopSignal) : SIGINT);
    }
    // A folder that could not be listed at all would pass for an empty one and
    // replace a good scan file of it: nothing is written.
    if (cl.Scan != TStartScan::File && root->ReadError() != TReadError::None) {
      progress.Say("vorndale: cannot read " + root->FullPath() + ": " + ReadErrorText(root->ReadError()));
      return kExportFailedExitCode;
    }
    progress.Show("Writing:", out, true);
    TScanFileWriteOptions w;
    w.Timestamp = timestamp;
    w.HostName = host;
    w.Cancel = &context.FCancelled;
    if (!WriteScanFile(*root, cl.ExportFile, w)) {
      progress.Say("Cancelled");
      return 128 + (gStopSignal ? int(gStopSignal) : SIGINT);
    }
  } catch (const std::exception& e) {
    progress.Say("vorndale: " + std::string(e.what()));
    return kExportFailedExitCode;
  }
  progress.Say("Done. Total files: " + std::to_string(root->TotalFiles) + "   Total size: " + FormatSize(root->TotalSize));
  // Said last, so that a job's log ends with what the file lacks.
  const TTreeFacts facts = CountUnreadable(root.get());
  if (facts.UnreadableFolders > 0)
    progress.Say(std::to_string(facts.UnreadableFolders) +
                 (facts.UnreadableFolders == 1 ? " folder could not be read" : " folders could not be read"));
  return 0;
}

}  // namespace vd::app
