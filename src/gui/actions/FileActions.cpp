#include "FileActions.h"

#include <QApplication>
#include <QClipboard>
#include <QStringList>
#include <unordered_set>

#include "CopyRecheck.h"
#include "PropertiesDialog.h"
#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "common/ResultsState.h"
#include "core/scan/Splice.h"
#include "platform/DeleteRequest.h"
#include "platform/Platform.h"
#include "views/Shell.h"
#include "views/UriList.h"

namespace vd::gui {

namespace {

QStringList DisplayList(const std::vector<std::string>& paths) {
  QStringList out;
  out.reserve(qsizetype(paths.size()));
  for (const auto& p : paths) out << DisplayText(p);
  return out;
}

}  // namespace

bool StillAsScanned(const TDirNode* root, const std::string& path) {
  if (!root) return true;
  const platform::TPathInfo now = platform::InspectPathNoFollow(path);
  if (now.Kind == platform::TPathKind::Missing) return true;
  if (FindFolder(const_cast<TDirNode*>(root), path)) return now.Kind == platform::TPathKind::Folder;
  const std::string p = platform::RemoveTrailingSeparator(path);
  const size_t cut = p.find_last_of(platform::PathSeparator());
  if (cut == std::string::npos) return true;
  const TDirNode* folder = FindFolder(const_cast<TDirNode*>(root), std::string_view(p).substr(0, cut == 0 ? 1 : cut));
  if (!folder) return true;
  const std::string key = platform::PathKey(std::string_view(p).substr(cut + 1));
  for (const TFileLeaf* f : folder->Leaves)
    if (platform::PathKey(f->Name()) == key) return now.Kind == platform::TPathKind::File && now.Size == f->ApparentSize();
  return true;
}

TRemoveSeam& RemoveOps() {
  static TRemoveSeam seam{&platform::MoveToTrash, &platform::DeleteTreeNoFollow};
  return seam;
}

TFileActions::TFileActions(QWidget* parent, TResultsState& state, THooks hooks)
    : QObject(parent), FParent(parent), S(state), FHooks(std::move(hooks)) {}

std::vector<std::string> TFileActions::GatherSelectedPaths() const {
  TResultTab* tab = FHooks.ActiveTab ? FHooks.ActiveTab() : nullptr;
  return tab ? OutermostDistinct(tab->GatherSelectedPaths()) : std::vector<std::string>{};
}

std::vector<std::string> TFileActions::OutermostDistinct(const std::vector<std::string>& paths) {
  const std::vector<std::string> distinct = platform::DistinctPaths(paths);
  std::unordered_set<std::string> keys;
  for (const auto& p : distinct) keys.insert(platform::PathKey(p));
  const char sep = platform::PathSeparator();
  std::vector<std::string> out;
  for (const auto& p : distinct) {
    // Inside another path of the list when one of its folders is there,
    // spelled with or without the separator that ends it ("/", "/a", "/a/").
    const std::string key = platform::PathKey(p);
    bool inside = false;
    for (size_t i = key.find(sep); !inside && i != std::string::npos && i + 1 < key.size(); i = key.find(sep, i + 1))
      inside = (i > 0 && keys.count(key.substr(0, i))) || keys.count(key.substr(0, i + 1));
    if (!inside) out.push_back(p);
  }
  return out;
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
  QApplication::clipboard()->setMimeData(NewPathsMimeData(paths));
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
  // The count is of the items gathered: each once, a folder with what is in it.
  const int n = int(paths.size());
  const QString question =
      toRecycleBin ? QStringLiteral("Move %1 item(s) to Recycle Bin?").arg(n)
                   : QStringLiteral("Permanently delete %1 item(s)?").arg(n) + PlatformLineBreak() +
                         QStringLiteral("(This cannot be undone)");
  if (!AskYesNo(FParent, toRecycleBin ? TBoxKind::Confirmation : TBoxKind::Warning, question, DisplayList(paths)))
    return;
  TResultTab* tab = FHooks.ActiveTab ? FHooks.ActiveTab() : nullptr;
  TCopyRecheck recheck(FParent, tab ? tab->SelectedCopies() : std::vector<TKeptCopy>{});
  if (RemovePaths(paths, toRecycleBin, recheck))
    AfterFileAction();
  else
    ShowErrorMessage(FParent, toRecycleBin ? QStringLiteral("Failed to remove to Recycle Bin.")
                                           : QStringLiteral("Failed to delete."));
  recheck.ReportLeft();
}

bool TFileActions::ShellDeletePaths(const std::vector<std::string>& paths, bool toRecycleBin) {
  TCopyRecheck none(FParent, {});
  return RemovePaths(paths, toRecycleBin, none);
}

bool TFileActions::RemovePaths(const std::vector<std::string>& paths, bool toRecycleBin, TCopyRecheck& recheck) {
  if (paths.empty() || !S.FPathsAreHere) return false;
  // Only what is still what the scan shows; a copy must also still equal its kept file.
  std::vector<std::string> same, changed;
  for (const auto& p : paths) (StillAsScanned(S.FRoot.get(), p) ? same : changed).push_back(p);
  if (!changed.empty())
    ShowErrorMessage(FParent, QStringLiteral("Left alone, no longer what the scan shows:\n") +
                                  DisplayList(changed).join(QLatin1Char('\n')));
  if (same.empty()) return true;
  const TRemoveSeam& ops = RemoveOps();
  const auto& removeOne = toRecycleBin ? ops.MoveToTrash : ops.DeleteTree;
  std::vector<std::string> removed;
  const bool ok = platform::RunDeleteRequest(
      same,
      [&](const std::string& p) {
        if (!recheck.StillCopy(p)) return true;  // left, and said why once all is done
        if (!removeOne(p)) return false;
        removed.push_back(p);
        return true;
      },
      // Not following links here: a link is removed as itself, a dangling one
      // too. A copy that went is the recheck's to tell.
      [&](const std::string& p) { return recheck.Covers(p) || platform::PathExistsNoFollow(p); });
  if (!removed.empty()) emit ItemsRemoved(removed);
  return ok;
}

void TFileActions::AfterFileAction() {
  S.FTreemap.ClearSelection();
  S.FHierMap.ClearSelection();
  if (FHooks.InvalidateBuf1) FHooks.InvalidateBuf1();
  if (FHooks.InvalidateBuf3) FHooks.InvalidateBuf3();
}

}  // namespace vd::gui
