#include "core/scan/ScanWalk.h"

#include "platform/Platform.h"

namespace vd {

std::unique_ptr<TDirNode> WalkScanSource(TScanContext& context, bool allDrives, const std::string& folder,
                                         const std::vector<std::string>& drives, const TWalkOptions& options) {
  int64_t filesOff = 0, dirsOff = 0, bytesOff = 0;
  uint32_t lastTick = platform::GetTickCount();
  TDiskScanner scanner(&context);
  if (options.OnProgress) {
    scanner.OnProgress = [&](const std::string& path, int64_t files, int64_t folders) {
      const uint32_t now = platform::GetTickCount();
      if (uint32_t(now - lastTick) < options.ThrottleMs) return;
      lastTick = now;
      options.OnProgress(path, files + filesOff, folders + dirsOff, scanner.FBytes + bytesOff);
    };
  }
  if (!allDrives) {
    scanner.ResetCounters();
    return scanner.Scan(folder);
  }
  std::unique_ptr<TDirNode> root = CreateSyntheticRoot();
  for (const std::string& drive : drives) {
    if (context.IsCancelled()) break;
    scanner.ResetCounters();
    std::unique_ptr<TDirNode> node = scanner.Scan(drive);
    if (node && !context.IsCancelled()) {
      // A drive goes by its whole path ("/boot/efi"), not by the name of its last folder.
      std::string path = node->FullPath();
      node->MakeRoot(path, path, nullptr);
      root->AppendChildTree(std::move(node));
    }
    filesOff += scanner.FFiles;
    dirsOff += scanner.FDirs;
    bytesOff += scanner.FBytes;
    if (options.OnProgress) options.OnProgress(drive, filesOff, dirsOff, bytesOff);
  }
  return root;
}

}  // namespace vd
