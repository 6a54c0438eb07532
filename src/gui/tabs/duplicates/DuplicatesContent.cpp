// The "Duplicates" tab's content check: the pass started once the results are
// built, its verdicts in the tree's second column, and "Select Copies".
#include <QHBoxLayout>
#include <QItemSelection>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <set>
#include <unordered_set>

#include "ContentCheckRun.h"
#include "ContentColumn.h"
#include "DuplicatesTab.h"
#include "core/results/Format.h"
#include "core/scan/Splice.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

QWidget* TDuplicatesTab::BuildContentStrip() {
  auto* strip = new QWidget;
  strip->setObjectName(QStringLiteral("pnlContentCheck"));
  // A narrow window gives the groups list its width first; the strip is cut.
  strip->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
  auto* h = new QHBoxLayout(strip);
  h->setContentsMargins(2, 2, 6, 2);
  h->setSpacing(8);
  btnSelectCopies = new QToolButton(strip);
  btnSelectCopies->setObjectName(QStringLiteral("btnSelectCopies"));
  btnSelectCopies->setText(QStringLiteral("Select Copies"));
  btnSelectCopies->setIcon(QIcon(QStringLiteral(":/icons/select-copies")));
  btnSelectCopies->setIconSize(QSize(18, 18));
  btnSelectCopies->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  btnSelectCopies->setAutoRaise(true);
  btnSelectCopies->setToolTip(
      QStringLiteral("Select every file whose content an older file of its group holds too.\n"
                     "One file of each content stays unselected; then move the selection to the trash or delete it."));
  btnSelectCopies->setEnabled(false);
  lblContentSummary = new QLabel(strip);
  lblContentSummary->setObjectName(QStringLiteral("lblContentSummary"));
  lblContentSummary->setTextFormat(Qt::PlainText);
  lblContentSummary->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  h->addWidget(btnSelectCopies);
  h->addWidget(lblContentSummary, 1);
  connect(btnSelectCopies, &QToolButton::clicked, this, &TDuplicatesTab::SelectCopies);

  FContentRun = new TContentCheckRun(W, this);
  connect(FContentRun, &TContentCheckRun::Ended, this, &TDuplicatesTab::ContentCheckEnded);
  return strip;
}

void TDuplicatesTab::ShowContentSummary(const QString& text) { lblContentSummary->setText(text); }

void TDuplicatesTab::StartContentCheck() {
  CancelContentCheck();
  FCopyCandidates.clear();
  FRemovedDuringCheck.clear();
  btnSelectCopies->setEnabled(false);
  FTreeModel->SetVerdicts(nullptr);
  if (S.FDupeGroups.empty() || AppClosing) {
    ShowContentSummary({});
    return;
  }
  if (!S.FPathsAreHere) {
    // Whatever lies at those paths here is not what the other machine held.
    ShowContentSummary(QStringLiteral("Contents not compared: the scan file is from another machine"));
    return;
  }
  ShowContentSummary(QStringLiteral("Comparing the contents of each group..."));
  FContentRun->Start(S.FDupeGroups);
}

void TDuplicatesTab::CancelContentCheck() {
  const bool running = FContentRun->Running();
  FContentRun->Cancel();
  if (running) ShowContentSummary(QStringLiteral("Comparison cancelled"));
}

bool TDuplicatesTab::ContentCheckRunning() const { return FContentRun->Running(); }

void TDuplicatesTab::ContentCheckEnded() {
  std::unique_ptr<TContentCheckResult> result = FContentRun->TakeResult();
  if (!result) return;
  FTreeModel->SetVerdicts(std::move(result));
  // Removed while the pass read: it may have read them first.
  TakeOutOfVerdicts(FRemovedDuringCheck);
  FRemovedDuringCheck.clear();
  ShowVerdicts();
}

namespace {
int64_t BytesOf(const std::vector<TCopyOf>& copies) {
  int64_t bytes = 0;
  for (const TCopyOf& c : copies) bytes += c.File->Size();
  return bytes;
}
}  // namespace

void TDuplicatesTab::ShowVerdicts() {
  const TContentCheckResult* result = FTreeModel->Verdicts();
  if (!result) return;
  const TVerdictCounts c = CountVerdicts(*result);
  const bool whole = !result->Cancelled;
  FCopyCandidates = whole ? vd::SelectCopies(S.FDupeGroups, *result) : std::vector<TCopyOf>();
  btnSelectCopies->setEnabled(!FCopyCandidates.empty());
  if (!whole) {
    ShowContentSummary(QStringLiteral("Comparison stopped: %1 of %2 files compared")
                           .arg(c.Identical + c.Differ + c.Unreadable + c.SameFile)
                           .arg(c.Identical + c.Differ + c.Unreadable + c.SameFile + c.Unchecked));
    return;
  }
  QString text = QStringLiteral("Contents compared: %1 identical, %2 differ, %3 unreadable")
                     .arg(c.Identical)
                     .arg(c.Differ)
                     .arg(c.Unreadable);
  if (c.SameFile) text += QStringLiteral(", %1 the same file twice").arg(c.SameFile);
  if (c.Removed) text += QStringLiteral(", %1 removed since").arg(c.Removed);
  if (!FCopyCandidates.empty())
    text += QStringLiteral(". Copies: %1 files, %2")
                .arg(qlonglong(FCopyCandidates.size()))
                .arg(DisplayText(FormatSize(BytesOf(FCopyCandidates))));
  ShowContentSummary(text);
}

void TDuplicatesTab::ForgetRemoved(const std::vector<std::string>& paths) {
  if (!S.FRoot || paths.empty()) return;
  // The removed items as the tree has them: folders, and files by folder and name.
  std::unordered_set<const TDirNode*> dirs;
  std::set<std::pair<const TDirNode*, std::string>> files;
  for (const std::string& p : paths) {
    if (const TDirNode* d = FindFolder(S.FRoot.get(), p)) {
      dirs.insert(d);
    } else if (const TDirNode* parent = FolderOfPath(S.FRoot.get(), p)) {
      const size_t cut = p.find_last_of(platform::PathDelimiters());
      files.emplace(parent, cut == std::string::npos ? p : p.substr(cut + 1));
    }
  }
  auto removed = [&](const TFileLeaf* f) {
    if (!files.empty() && files.count({f->Parent(), std::string(f->Name())})) return true;
    if (!dirs.empty())
      for (const TDirNode* d = f->Parent(); d; d = d->Parent)
        if (dirs.count(d)) return true;
    return false;
  };
  std::unordered_set<const TFileLeaf*> gone;
  for (const auto& g : S.FDupeGroups)
    for (const TFileLeaf* f : g->Files)
      if (removed(f)) gone.insert(f);
  if (gone.empty()) return;
  if (FContentRun->Running()) FRemovedDuringCheck.insert(gone.begin(), gone.end());
  TakeOutOfVerdicts(gone);
  ShowVerdicts();
  // A copy removed is no longer selected; one whose kept file went stays, and
  // the file actions leave it when they find the kept file gone.
  std::erase_if(FCopies, [&](const TCopyOf& c) { return gone.count(c.File) > 0; });
  W.UpdateSelectionStatus();
}

void TDuplicatesTab::TakeOutOfVerdicts(const std::unordered_set<const TFileLeaf*>& gone) {
  if (gone.empty()) return;
  FTreeModel->EditVerdicts([&](TContentCheckResult& verdicts) {
    const size_t n = std::min(verdicts.Groups.size(), S.FDupeGroups.size());
    for (size_t g = 0; g < n; ++g) {
      const auto& members = S.FDupeGroups[g]->Files;
      if (verdicts.Groups[g].size() != members.size()) continue;
      for (size_t i = 0; i < members.size(); ++i)
        if (gone.count(members[i])) TakeOutMember(verdicts.Groups[g], i);
    }
  });
}

void TDuplicatesTab::SelectCopies() {
  if (AppClosing || FCopyCandidates.empty()) return;
  std::unordered_set<const TFileLeaf*> copies;
  for (const TCopyOf& c : FCopyCandidates) copies.insert(c.File);
  // The rows the tree shows, in runs; the copies beyond a group's 500 files
  // are selected through FCopies alone.
  QItemSelection rows;
  QModelIndex first;
  std::vector<QModelIndex> groups;
  for (int g = 0; g < FTreeModel->GroupCount(); ++g) {
    const TDupGroup& group = *FTreeModel->GroupAt(g);
    const QModelIndex node = FTreeModel->IndexOfGroup(g);
    const int shown = TDupTreeModel::ShownFiles(group);
    bool any = false;
    for (int r = 0; r < shown; ++r) {
      if (!copies.count(group.Files[size_t(r)])) continue;
      int end = r;
      while (end + 1 < shown && copies.count(group.Files[size_t(end) + 1])) ++end;
      rows.select(FTreeModel->index(r, 0, node), FTreeModel->index(end, TDupTreeModel::colContent, node));
      if (!first.isValid()) first = FTreeModel->index(r, 0, node);
      any = true;
      r = end;
    }
    if (any) groups.push_back(node);
  }
  FSelectingCopies = true;
  FCopies = FCopyCandidates;
  FCopiesSelected = true;
  for (const QModelIndex& g : groups) tvDuplicateFiles->expand(g);
  QItemSelectionModel* sel = tvDuplicateFiles->selectionModel();
  sel->select(rows, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  if (first.isValid()) {
    sel->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    tvDuplicateFiles->scrollTo(first);
  }
  // Also when no row changed (every copy beyond the shown files): the
  // treemap and the status line follow the copies.
  tvDuplicateFilesChange();
  FSelectingCopies = false;
}

QString TDuplicatesTab::CopiesStatus() const {
  return QStringLiteral("%1 copies selected  %2")
      .arg(qlonglong(FCopies.size()))
      .arg(DisplayText(FormatSize(BytesOf(FCopies))));
}

std::vector<TKeptCopy> TDuplicatesTab::SelectedCopies() const {
  std::vector<TKeptCopy> out;
  if (!FCopiesSelected) return out;
  out.reserve(FCopies.size());
  for (const TCopyOf& c : FCopies) out.push_back({c.File->FullPath(), c.Kept->FullPath(), c.File->ApparentSize()});
  return out;
}

void TDuplicatesTab::DropCopiesSelection() {
  if (FSelectingCopies) return;
  FCopies.clear();
  FCopiesSelected = false;
}

}  // namespace vd::gui
