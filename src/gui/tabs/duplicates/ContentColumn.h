// The words of the duplicates tree's content column: what the content check
// found for one file, or for a group.
#pragma once

#include <QString>
#include <vector>

#include "core/results/ContentCheck.h"

namespace vd::gui {

// The cell of member `i`: "Identical", "Identical (B)" when the group holds
// more than one content with copies, "Differs", "Unreadable", "Same file",
// "Not compared", "Removed".
QString MemberVerdictText(const std::vector<TMemberVerdict>& group, size_t i);
// The line the row's tooltip adds for member `i`.
QString MemberVerdictHint(const std::vector<TMemberVerdict>& group, size_t i);
// The cell of a group: "2 of 3 identical", or "Not compared".
QString GroupVerdictText(const std::vector<TMemberVerdict>& group);

// The counts of a whole pass, for the line above the tree.
struct TVerdictCounts {
  int64_t Identical = 0, Differ = 0, Unreadable = 0, SameFile = 0, Unchecked = 0, Removed = 0;
};
TVerdictCounts CountVerdicts(const TContentCheckResult& result);

}  // namespace vd::gui
