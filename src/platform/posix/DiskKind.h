// Whether a block device spins, as sysfs tells it.
#pragma once

#include <string>

namespace vd::platform {

// `sysDevBlock` is /sys/dev/block, where every device is a link named
// "major:minor". A partition has no queue of its own; its disk's tells. False
// when nothing says so (virtual file systems, devices sysfs does not know).
bool DeviceIsRotational(const std::string& sysDevBlock, unsigned major, unsigned minor);

}  // namespace vd::platform
