// The tab's handlers: lazy expansion, the selection order of the tree, and the
// traffic between treemap, tree and extension legend.
#include <QMouseEvent>
#include <QSet>
#include <algorithm>

#include "FilesInFoldersTab.h"
#include "core/results/Format.h"
#include "views/Shell.h"

namespace vd::gui {

// ---- lazy expansion ------------------------------------------------------------

void TFilesInFoldersTab::tvFoldersAndFilesExpanding(QTreeWidgetItem* item) {
  if (!item || item->type() != TNodeItem::kType) return;
  auto* node = static_cast<TNodeItem*>(item);
  if (!node->Dir || node->childCount() == 0) return;
  auto* first = static_cast<TNodeItem*>(node->child(0));
  if (!first->Dummy) return;  // filled before: collapsing kept the children

  tvFoldersAndFiles->setUpdatesEnabled(false);
  struct TResume {
    QWidget* W;
    ~TResume() { W->setUpdatesEnabled(true); }
  } resume{tvFoldersAndFiles};

  // Placeholders go first. Qt may report their removal from the selection while
  // they are half gone, so the order is corrected afterwards instead.
  bool removedSelected = false;
  FTrackingPaused = true;
  for (int i = node->childCount(); i-- > 0;) {
    auto* child = static_cast<TNodeItem*>(node->child(i));
    if (!child->Dummy) continue;
    removedSelected = removedSelected || child->isSelected();
    ForgetNode(child);
    tvFoldersAndFilesDeletion(child);
    RetireNode(node->takeChild(i));
  }
  FTrackingPaused = false;

  TDirNode* dir = node->Dir;
  QList<QTreeWidgetItem*> children;
  children.reserve(qsizetype(dir->Children.size() + dir->Leaves.size()));
  for (TDirNode* sub : dir->Children) children << NewDirNode(sub);
  for (TFileLeaf* leaf : dir->Leaves) children << NewFileNode(leaf);
  node->addChildren(children);

  if (removedSelected) OnTreeSelectionChanged();
}

void TFilesInFoldersTab::RetireNode(QTreeWidgetItem* item) {
  // This expansion may run inside the view's own handling of the very node
  // taken out: making a placeholder the current node scrolls to it, scrolling
  // expands its folder, and the view then goes on to read the node it was
  // given. Out of the tree it harms nothing; it is freed once the event that
  // led here has been delivered.
  FRetiredNodes.emplace_back(item);
  if (FRetiredNodes.size() == 1)
    QMetaObject::invokeMethod(this, [this] { FRetiredNodes.clear(); }, Qt::QueuedConnection);
}

void TFilesInFoldersTab::tvFoldersAndFilesDeletion(QTreeWidgetItem* item) {
  if (!item || item->type() != TNodeItem::kType) return;
  static_cast<TNodeItem*>(item)->Dummy.reset();
}

void TFilesInFoldersTab::ForgetNode(TNodeItem* node) {
  FSelOrder.erase(std::remove(FSelOrder.begin(), FSelOrder.end(), node), FSelOrder.end());
  if (const void* data = node->Data()) {
    auto it = FNodeByData.find(data);
    if (it != FNodeByData.end() && it.value() == node) FNodeByData.erase(it);
  }
}

TNodeItem* TFilesInFoldersTab::FindTreeNodeByData(const void* obj) const {
  if (!obj) return nullptr;
  return FNodeByData.value(obj, nullptr);
}

// ---- selection order -------------------------------------------------------------

void TFilesInFoldersTab::TrackSelectionOrder() {
  const QList<QTreeWidgetItem*> selected = tvFoldersAndFiles->selectedItems();
  QSet<QTreeWidgetItem*> now(selected.begin(), selected.end());
  FSelOrder.erase(std::remove_if(FSelOrder.begin(), FSelOrder.end(),
                                 [&](TNodeItem* n) { return !now.contains(n); }),
                  FSelOrder.end());
  QSet<QTreeWidgetItem*> known(FSelOrder.begin(), FSelOrder.end());
  // Newcomers of one batch (a Shift range) enter together; the node the user
  // acted on, the current one, is the most recent of them.
  std::vector<TNodeItem*> fresh;
  for (QTreeWidgetItem* it : selected)
    if (!known.contains(it) && it->type() == TNodeItem::kType) fresh.push_back(static_cast<TNodeItem*>(it));
  if (fresh.empty()) return;
  auto* current = static_cast<TNodeItem*>(tvFoldersAndFiles->currentItem());
  for (TNodeItem* n : fresh)
    if (n != current) FSelOrder.push_back(n);
  if (current && std::find(fresh.begin(), fresh.end(), current) != fresh.end()) FSelOrder.push_back(current);
}

std::vector<TNodeItem*> TFilesInFoldersTab::SelectedNodesInOrder() const {
  return std::vector<TNodeItem*>(FSelOrder.rbegin(), FSelOrder.rend());
}

void TFilesInFoldersTab::OnTreeSelectionChanged() {
  if (FTrackingPaused) return;
  TrackSelectionOrder();
  tvFoldersAndFilesChange();
}

bool TFilesInFoldersTab::IsOnScreen(const QTreeWidgetItem* item) const {
  if (item->isHidden()) return false;
  for (const QTreeWidgetItem* p = item->parent(); p; p = p->parent())
    if (!p->isExpanded() || p->isHidden()) return false;
  return true;
}

void TFilesInFoldersTab::ShowNode(TNodeItem* node) {
  // Its folders exist (the node does), so expanding them only shows them.
  std::vector<QTreeWidgetItem*> up;
  for (QTreeWidgetItem* p = node->parent(); p; p = p->parent()) up.push_back(p);
  for (auto it = up.rbegin(); it != up.rend(); ++it)
    if (!(*it)->isExpanded()) {
      tvFoldersAndFilesExpanding(*it);
      (*it)->setExpanded(true);
    }
}

void TFilesInFoldersTab::SelectNodeAsClick(TNodeItem* node, Qt::KeyboardModifiers modifiers) {
  QItemSelectionModel* sm = tvFoldersAndFiles->selectionModel();
  const QModelIndex idx = tvFoldersAndFiles->indexFromItem(node);
  if (node->isSelected()) {
    // Already selected: it only becomes the most recent member; nothing changes.
    FSelOrder.erase(std::remove(FSelOrder.begin(), FSelOrder.end(), node), FSelOrder.end());
    FSelOrder.push_back(node);
    sm->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    return;
  }
  if (modifiers & Qt::ControlModifier) {
    sm->setCurrentIndex(idx, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    return;
  }
  auto* anchor = static_cast<TNodeItem*>(tvFoldersAndFiles->currentItem());
  if ((modifiers & Qt::ShiftModifier) && anchor && anchor != node) {
    // A range is what the user sees between the anchor and the node: the rows
    // on screen, never what lies under folders collapsed since the anchor was
    // set, nor placeholders. An anchor no longer on screen makes no range.
    ShowNode(node);
    QItemSelection range;
    if (IsOnScreen(anchor)) {
      bool inside = false;
      for (QTreeWidgetItem* item = tvFoldersAndFiles->topLevelItem(0); item; item = tvFoldersAndFiles->itemBelow(item)) {
        const bool edge = item == anchor || item == node;
        if (edge) inside = !inside;
        if ((inside || edge) && !static_cast<TNodeItem*>(item)->Dummy) {
          const QModelIndex i = tvFoldersAndFiles->indexFromItem(item);
          range.select(i, i);
        }
        if (edge && !inside) break;
      }
    } else {
      range.select(idx, idx);
    }
    // One change for the whole range, reported once the node is current.
    FTrackingPaused = true;
    sm->setCurrentIndex(idx, QItemSelectionModel::NoUpdate);
    FTrackingPaused = false;
    sm->select(range, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    return;
  }
  sm->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

// ---- tree, legend and treemap in step --------------------------------------------

void TFilesInFoldersTab::tvFoldersAndFilesChange() {
  if (AppClosing || S.FSyncing) return;
  std::vector<std::string> paths;
  for (const TNodeItem* node : SelectedNodesInOrder()) {
    if (node->Leaf)
      paths.push_back(node->Leaf->FullPath());
    else if (node->Dir)
      paths.push_back(node->Dir->FullPath());
  }
  if (!paths.empty())
    S.FHierMap.SetSelectedByUpperPaths(paths);
  else
    S.FHierMap.ClearSelection();
  InvalidateBuf();
  W.UpdateSelectionStatus();
}

void TFilesInFoldersTab::tvFileExtensionsSelectItem() {
  if (AppClosing || S.FSyncing) return;
  std::vector<std::string> exts;
  for (int i = 0, n = tvFileExtensions->topLevelItemCount(); i < n; ++i) {
    const QTreeWidgetItem* row = tvFileExtensions->topLevelItem(i);
    if (!row->isSelected()) continue;
    const QByteArray key = row->data(0, kExtKeyRole).toByteArray();
    exts.emplace_back(key.constData(), size_t(key.size()));
  }
  if (!exts.empty())
    S.FHierMap.SetSelectedByExts(exts);
  else
    S.FHierMap.ClearSelection();
  InvalidateBuf();
}

void TFilesInFoldersTab::PaintBox3MouseDown(QMouseEvent* event) {
  if (AppClosing || !S.FRoot) return;
  const QPoint pos = PaintBox3->LayoutPoint(event->position());
  const THierItem* it = S.FHierMap.HitTest(TPoint{pos.x(), pos.y()});
  if (!it) return;
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (mods & Qt::ControlModifier)
    S.FHierMap.ToggleSelected(it);
  else
    S.FHierMap.SetSingleSelected(it);
  InvalidateBuf();

  // Copied out: the tree's change handler may reselect, but tiles stay valid
  // until the next build, which nothing here triggers.
  const std::string fullPath = it->FullPath();
  const int64_t size = it->Size();
  const bool fileTile = it->Kind() == THierKind::hkFile;
  if ((mods & Qt::ControlModifier) && !S.FHierMap.IsSelected(it)) {
    // The Ctrl+click took the tile out of the selection: its node goes too,
    // or the file actions would act on what the user has just deselected.
    TNodeItem* node = FindTreeNodeByData(fileTile ? static_cast<const void*>(it->FileLeaf()) : it->Dir());
    if (node && node->isSelected())
      tvFoldersAndFiles->selectionModel()->select(tvFoldersAndFiles->indexFromItem(node),
                                                  QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
  } else if (fileTile) {
    RevealFileInTree(it->FileLeaf(), mods);
  } else if (TNodeItem* node = FindTreeNodeByData(it->Dir())) {
    if (!node->isExpanded()) {
      tvFoldersAndFilesExpanding(node);
      node->setExpanded(true);
    }
    SelectNodeAsClick(node, mods);
    tvFoldersAndFiles->scrollToItem(node);
  }
  W.SetStatus(QStringLiteral("%1  %2").arg(DisplayText(fullPath), QString::fromStdString(FormatSize(size))));
}

void TFilesInFoldersTab::PaintBox3DblClick() {
  if (AppClosing) return;
  const THierItem* p = S.FHierMap.Primary();
  if (!p) return;
  if (p->Kind() == THierKind::hkFile)
    OpenFolderAndSelect(p->FullPath());
  else
    OpenItem(p->FullPath());
}

// ---- revealing a file --------------------------------------------------------------

bool TFilesInFoldersTab::FindFileAncestors(TDirNode* dir, const TFileLeaf* leaf, std::vector<TDirNode*>& chain) {
  if (!dir || !leaf) return false;
  // Up the parent links rather than searching the whole tree: the same chain
  // at the cost of the file's depth, and no recursion however deep it is.
  TDirNode* folder = leaf->Parent();
  if (!folder || std::find(folder->Leaves.begin(), folder->Leaves.end(), leaf) == folder->Leaves.end()) return false;
  std::vector<TDirNode*> found;
  for (TDirNode* d = folder; d; d = d->Parent) {
    found.push_back(d);
    if (d == dir) {
      chain.insert(chain.end(), found.begin(), found.end());
      return true;
    }
  }
  return false;
}

void TFilesInFoldersTab::ExpandAncestorNodes(const std::vector<TDirNode*>& chain) {
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    TNodeItem* node = FindTreeNodeByData(*it);
    if (!node || node->isExpanded()) continue;
    tvFoldersAndFilesExpanding(node);
    node->setExpanded(true);
  }
}

void TFilesInFoldersTab::RevealFileInTree(const TFileLeaf* leaf, Qt::KeyboardModifiers modifiers) {
  if (!leaf || !S.FRoot) return;
  std::vector<TDirNode*> chain;
  if (!FindFileAncestors(S.FRoot.get(), leaf, chain)) return;
  ExpandAncestorNodes(chain);
  if (TNodeItem* node = FindTreeNodeByData(leaf)) {
    SelectNodeAsClick(node, modifiers);
    tvFoldersAndFiles->scrollToItem(node);
  }
}

}  // namespace vd::gui
