#include "DiskKind.h"

#include <fstream>

namespace vd::platform {

bool DeviceIsRotational(const std::string& sysDevBlock, unsigned major, unsigned minor) {
  const std::string dev = sysDevBlock + "/" + std::to_string(major) + ":" + std::to_string(minor);
  for (const char* queue : {"/queue/rotational", "/../queue/rotational"}) {
    std::ifstream in(dev + queue);
    int flag = 0;
    if (in >> flag) return flag == 1;
  }
  return false;
}

}  // namespace vd::platform
