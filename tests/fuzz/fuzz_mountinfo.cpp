// The kernel's mount table as "All Drives" reads it, from the parse to the list
// of drives (every absolute mount point taken for a folder).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/posix/MountTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto mounts = vd::platform::ParseMountInfo(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto drives =
      vd::platform::DrivesFromMounts(mounts, [](const std::string& path) { return !path.empty() && path[0] == '/'; });
  if (drives.size() > mounts.size()) __builtin_trap();
  return 0;
}
