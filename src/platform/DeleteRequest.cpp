#include "platform/DeleteRequest.h"

#include <unordered_set>

#include "platform/Platform.h"

namespace vd::platform {

std::vector<std::string> DistinctPaths(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  std::unordered_set<std::string> seen;
  for (const auto& p : paths)
    if (!p.empty() && seen.insert(PathKey(p)).second) out.push_back(p);
  return out;
}

namespace {
bool IsInside(const std::string& path, const std::string& folder) {
  const std::string key = PathKey(path), f = PathKey(folder);
  if (key.size() <= f.size() || key.compare(0, f.size(), f) != 0) return false;
  return f.back() == PathSeparator() || key[f.size()] == PathSeparator();
}
}  // namespace

bool RunDeleteRequest(const std::vector<std::string>& paths,
                      const std::function<bool(const std::string&)>& removeOne,
                      const std::function<bool(const std::string&)>& existsNoFollow) {
  const std::vector<std::string> todo = DistinctPaths(paths);
  if (todo.empty()) return false;
  std::vector<std::string> removed;
  for (const auto& p : todo) {
    if (!existsNoFollow(p)) {
      bool covered = false;
      for (const auto& r : removed) covered = covered || IsInside(p, r);
      if (covered) continue;
      return false;  // it was never there: the request did not do what it said
    }
    if (!removeOne(p)) return false;
    removed.push_back(p);
  }
  return true;
}

}  // namespace vd::platform
