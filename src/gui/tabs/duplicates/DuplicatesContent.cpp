// The "Duplicates" tab's content check: the pass started once the results are
// built, its verdicts in the tree's second column, and "Select Copies".
#include <QHBoxLayout>
#include <QItemSelection>
#include <QLabel>
#include <QToolButton>
#include <QTreeView>
#include <unordered_set>

#include "ContentCheckRun.h"
#include "ContentColumn.h"
#include "DuplicatesTab.h"
#include "core/results/Format.h"
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

bool TDuplicatesTab::CancelContentCheck(int waitMs) {
  const bool running = FContentRun->Running();
  const bool stopped = FContentRun->Cancel(waitMs);
  if (running) ShowContentSummary(QStringLiteral("Comparison cancelled"));
  return stopped;
}

bool TDuplicatesTab::ContentCheckRunning() const { return FContentRun->Running(); }

void TDuplicatesTab::ContentCheckEnded() {
  std::unique_ptr<TContentCheckResult> result = FContentRun->TakeResult();
  if (!result) return;
  const TVerdictCounts c = CountVerdicts(*result);
  const bool whole = !result->Cancelled;
  FCopyCandidates = whole ? vd::SelectCopies(S.FDupeGroups, *result) : std::vector<TFileLeaf*>();
  FTreeModel->SetVerdicts(std::move(result));
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
  int64_t bytes = 0;
  for (const TFileLeaf* f : FCopyCandidates) bytes += f->Size();
  if (!FCopyCandidates.empty())
    text += QStringLiteral(". Copies: %1 files, %2").arg(qlonglong(FCopyCandidates.size())).arg(DisplayText(FormatSize(bytes)));
  ShowContentSummary(text);
}

void TDuplicatesTab::SelectCopies() {
  if (AppClosing || FCopyCandidates.empty()) return;
  const std::unordered_set<const TFileLeaf*> copies(FCopyCandidates.begin(), FCopyCandidates.end());
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
  int64_t bytes = 0;
  for (const TFileLeaf* f : FCopies) bytes += f->Size();
  return QStringLiteral("%1 copies selected  %2").arg(qlonglong(FCopies.size())).arg(DisplayText(FormatSize(bytes)));
}

}  // namespace vd::gui
