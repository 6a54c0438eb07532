// One user request to delete or trash a list of paths, carried out safely.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vd::platform {

// The distinct non-empty paths of `paths`, in first-seen order.
std::vector<std::string> DistinctPaths(const std::vector<std::string>& paths);

// Removes each distinct path once with `removeOne`, in order. A path that is
// gone because an earlier path of the same request contained it counts as done.
// Stops at the first failure, removing nothing further. True when every path
// is gone. An empty request fails, as there was nothing to do.
bool RunDeleteRequest(const std::vector<std::string>& paths,
                      const std::function<bool(const std::string&)>& removeOne,
                      const std::function<bool(const std::string&)>& existsNoFollow);

}  // namespace vd::platform
