#include "tabs/duplicates/ContentColumn.h"

namespace vd::gui {

namespace {

// Which of the group's contents with copies member `i` holds, in order of
// first appearance; -1 when the group has at most one such content.
int CopySet(const std::vector<TMemberVerdict>& group, size_t i) {
  std::vector<uint32_t> seen;
  int mine = -1;
  for (size_t j = 0; j < group.size(); ++j) {
    if (group[j].Verdict != TContentVerdict::Identical) continue;
    size_t k = 0;
    while (k < seen.size() && seen[k] != group[j].Content) ++k;
    if (k == seen.size()) seen.push_back(group[j].Content);
    if (j == i) mine = int(k);
  }
  return seen.size() > 1 ? mine : -1;
}

QString SetLetter(int set) {
  return set < 26 ? QString(QChar(u'A' + set)) : QString::number(set + 1);
}

}  // namespace

QString MemberVerdictText(const std::vector<TMemberVerdict>& group, size_t i) {
  if (i >= group.size()) return {};
  switch (group[i].Verdict) {
    case TContentVerdict::Identical: {
      const int set = CopySet(group, i);
      return set < 0 ? QStringLiteral("Identical") : QStringLiteral("Identical (%1)").arg(SetLetter(set));
    }
    case TContentVerdict::Unique: return QStringLiteral("Differs");
    case TContentVerdict::Unreadable: return QStringLiteral("Unreadable");
    case TContentVerdict::SameFile: return QStringLiteral("Same file");
    case TContentVerdict::Unchecked: return QStringLiteral("Not compared");
    case TContentVerdict::Removed: return QStringLiteral("Removed");
  }
  return {};
}

QString MemberVerdictHint(const std::vector<TMemberVerdict>& group, size_t i) {
  if (i >= group.size()) return {};
  switch (group[i].Verdict) {
    case TContentVerdict::Identical: {
      const int set = CopySet(group, i);
      return set < 0 ? QStringLiteral("Same content as another file of this group")
                     : QStringLiteral("Same content as the other files marked (%1)").arg(SetLetter(set));
    }
    case TContentVerdict::Unique: return QStringLiteral("Content differs from every other file of this group");
    case TContentVerdict::Unreadable: return QStringLiteral("Could not be read: gone, changed or not allowed");
    case TContentVerdict::SameFile:
      return QStringLiteral("The same file as another entry of this group (a hard link): removing it frees nothing");
    case TContentVerdict::Unchecked: return QStringLiteral("Not compared: the comparison was stopped first");
    case TContentVerdict::Removed: return QStringLiteral("Moved to the trash or deleted since the comparison");
  }
  return {};
}

QString GroupVerdictText(const std::vector<TMemberVerdict>& group) {
  int64_t identical = 0, left = 0;
  for (const TMemberVerdict& v : group) {
    if (v.Verdict == TContentVerdict::Unchecked) return QStringLiteral("Not compared");
    identical += v.Verdict == TContentVerdict::Identical;
    left += v.Verdict != TContentVerdict::Removed;
  }
  // Of the files still there: a removed one is no member any more.
  return QStringLiteral("%1 of %2 identical").arg(identical).arg(left);
}

TVerdictCounts CountVerdicts(const TContentCheckResult& result) {
  TVerdictCounts c;
  for (const auto& group : result.Groups)
    for (const TMemberVerdict& v : group) {
      switch (v.Verdict) {
        case TContentVerdict::Identical: ++c.Identical; break;
        case TContentVerdict::Unique: ++c.Differ; break;
        case TContentVerdict::Unreadable: ++c.Unreadable; break;
        case TContentVerdict::SameFile: ++c.SameFile; break;
        case TContentVerdict::Unchecked: ++c.Unchecked; break;
        case TContentVerdict::Removed: ++c.Removed; break;
      }
    }
  return c;
}

}  // namespace vd::gui
