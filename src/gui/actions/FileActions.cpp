#include "FileActions.h"

#include <QApplication>
#include <QClipboard>
#include <QStringList>

#include "PropertiesDialog.h"
#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "common/ResultsState.h"
#include "platform/DeleteRequest.h"
#include "platform/Platform.h"
#include "views/Shell.h"

namespace vd::gui {

namespace {

// The platform's own line break: a CR on POSIX would end up in every command
// line the paths are pasted into.
#ifdef Q_OS_WIN
const QString kLineBreak = QStringLiteral("\r\n");
#else
const QString kLineBreak = QStringLiteral("\n");
#endif

QStringList DisplayList(const std::vector<std::string>& paths) {
  QStringList out;
  out.reserve(qsizetype(paths.size()));
  for (const auto& p : paths) out << DisplayText(p);
  return out;
}

}  // namespace

TRemoveSeam& RemoveOps() {
  static TRemoveSeam seam{&platform::MoveToTrash, &platform::DeleteTreeNoFollow};
  return seam;
}

TFileActions::TFileActions(QWidget* parent, TResultsState& state, THooks hooks)
    : QObject(parent), FParent(parent), S(state), FHooks(std::move(hooks)) {}

std::vector<std::string> TFileActions::GatherSelectedPaths() const {
  TResultTab* tab = FHooks.ActiveTab ? FHooks.ActiveTab() : nullptr;
  return tab ? tab->GatherSelectedPaths() : std::vector<std::string>{};
}

std::vector<std::string> TFileActions::ExistingSelectedPaths() const {
  std::vector<std::string> out;
  for (auto& p : GatherSelectedPaths())
    if (platform::PathExists(p)) out.push_back(std::move(p));
  return out;
}

void TFileActions::SpeedButton1Click() {
  const std::vector<std::string> paths = GatherSelectedPaths();
  if (paths.empty()) return;  // the clipboard keeps what it had
  QApplication::clipboard()->setText(DisplayList(paths).join(kLineBreak));
}

void TFileActions::btnOpenClick() {
  for (const auto& p : ExistingSelectedPaths()) OpenItem(p);
}

void TFileActions::btnOpenExplorerClick() {
  // One request per item, even for several items of one folder.
  for (const auto& p : ExistingSelectedPaths()) OpenFolderAndSelect(p);
}

void TFileActions::btnShowPropertiesClick() {
  for (const auto& p : ExistingSelectedPaths()) {
    const QString uri = QString::fromLatin1(FileUrlFromPath(p).toEncoded());
    if (Shell().FileManager && Shell().FileManager(QStringLiteral("ShowItemProperties"), {uri})) continue;
    // No file manager answered: our own window, one per item, not modal.
    auto* dlg = new TPropertiesDialog(FParent, p, FindDirByPath(S.FRoot.get(), p));
    dlg->show();
  }
}

void TFileActions::btnRemoveToRecycleBinClick() { AskAndRemove(true); }

void TFileActions::btnRemoveClick() { AskAndRemove(false); }

void TFileActions::AskAndRemove(bool toRecycleBin) {
  const std::vector<std::string> paths = GatherSelectedPaths();
  if (paths.empty()) return;
  // The count is of the gathered paths, repeats included.
  const int n = int(paths.size());
  const QString question =
      toRecycleBin ? QStringLiteral("Move %1 item(s) to Recycle Bin?").arg(n)
                   : QStringLiteral("Permanently delete %1 item(s)?").arg(n) + kLineBreak +
                         QStringLiteral("(This cannot be undone)");
  if (!AskYesNo(FParent, toRecycleBin ? TBoxKind::Confirmation : TBoxKind::Warning, question, DisplayList(paths)))
    return;
  if (ShellDeletePaths(paths, toRecycleBin))
    AfterFileAction();
  else
    ShowErrorMessage(FParent, toRecycleBin ? QStringLiteral("Failed to remove to Recycle Bin.")
                                           : QStringLiteral("Failed to delete."));
}

bool TFileActions::ShellDeletePaths(const std::vector<std::string>& paths, bool toRecycleBin) {
  if (paths.empty()) return false;
  const TRemoveSeam& ops = RemoveOps();
  const auto& removeOne = toRecycleBin ? ops.MoveToTrash : ops.DeleteTree;
  // Not following links here: a link is removed as itself, a dangling one too.
  return platform::RunDeleteRequest(paths, removeOne, &platform::PathExistsNoFollow);
}

void TFileActions::AfterFileAction() {
  S.FTreemap.ClearSelection();
  S.FHierMap.ClearSelection();
  if (FHooks.InvalidateBuf1) FHooks.InvalidateBuf1();
  if (FHooks.InvalidateBuf3) FHooks.InvalidateBuf3();
}

}  // namespace vd::gui
