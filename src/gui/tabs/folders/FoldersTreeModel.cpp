#include "FoldersTreeModel.h"

#include "core/results/Format.h"
#include "views/IconCache.h"
#include "views/Shell.h"
#include "views/SizeMarks.h"

namespace vd::gui {

TFoldersTreeModel::TFoldersTreeModel(QObject* parent)
    : QAbstractItemModel(parent), FFolderIcon(TIconCache::Instance().FolderIcon()) {}

size_t TFoldersTreeModel::Home(const TDirNode* dir) const {
  return size_t((uint64_t(reinterpret_cast<uintptr_t>(dir)) * 0x9E3779B97F4A7C15ull) >> FShift);
}

TFoldersTreeModel::TSlot* TFoldersTreeModel::Find(const TDirNode* dir) const {
  if (FSlots.empty() || !dir) return nullptr;
  const size_t mask = FSlots.size() - 1;
  for (size_t i = Home(dir);; i = (i + 1) & mask) {
    const TSlot& s = FSlots[i];
    if (s.Key == dir) return const_cast<TSlot*>(&s);
    if (!s.Key) return nullptr;
  }
}

TFoldersTreeModel::TSlot& TFoldersTreeModel::Insert(const TDirNode* dir) {
  // Kept at most 70 % full; BeginBuild sized it for the announced count, so
  // this only grows when more folders come than were announced.
  if ((FAdded + 1) * 10 > int64_t(FSlots.size()) * 7) {
    std::vector<TSlot> old;
    old.swap(FSlots);
    FSlots.assign(old.empty() ? 16 : old.size() * 2, TSlot{});
    --FShift;
    if (old.empty()) FShift = 64 - 4;
    const size_t mask = FSlots.size() - 1;
    for (const TSlot& s : old) {
      if (!s.Key) continue;
      size_t i = Home(s.Key);
      while (FSlots[i].Key) i = (i + 1) & mask;
      FSlots[i] = s;
    }
  }
  const size_t mask = FSlots.size() - 1;
  size_t i = Home(dir);
  while (FSlots[i].Key && FSlots[i].Key != dir) i = (i + 1) & mask;
  FSlots[i].Key = dir;
  return FSlots[i];
}

void TFoldersTreeModel::BeginBuild(TDirNode* root, int64_t folders) {
  beginResetModel();
  FRoot = root;
  FTopAdded = FTopShown = 0;
  FAdded = 0;
  size_t cap = 16;
  unsigned bits = 4;
  while (int64_t(cap) * 7 < folders * 10) {
    cap *= 2;
    ++bits;
  }
  FSlots.assign(cap, TSlot{});
  FShift = 64 - bits;
  endResetModel();
}

void TFoldersTreeModel::AddNode(TDirNode* dir) {
  const TDirNode* parent = dir->Parent;
  int32_t row;
  if (parent == FRoot) {
    row = FTopAdded++;
  } else {
    TSlot* p = Find(parent);
    if (!p) return;  // its parent was never added: not part of this tree
    row = p->Count++;
  }
  TSlot& s = Insert(dir);
  s.Row = row;
  s.Count = 0;
  ++FAdded;
}

void TFoldersTreeModel::EndBuild() {
  beginResetModel();
  FTopShown = FTopAdded;
  endResetModel();
}

void TFoldersTreeModel::Clear() {
  beginResetModel();
  FSlots = {};
  FShift = 64;
  FRoot = nullptr;
  FTopAdded = FTopShown = 0;
  FAdded = 0;
  endResetModel();
}

QModelIndex TFoldersTreeModel::IndexOf(const TDirNode* dir) const {
  if (!FRoot || !dir || dir == FRoot) return {};
  const TSlot* own = Find(dir);
  if (!own) return {};
  // Up the chain: every ancestor must have a node too, and the chain must end
  // at this tree's root under a top-level node the view can see.
  const TDirNode* d = dir;
  const TSlot* s = own;
  while (d->Parent != FRoot) {
    d = d->Parent;
    if (!d) return {};
    s = Find(d);
    if (!s) return {};
  }
  if (s->Row >= FTopShown) return {};
  return createIndex(own->Row, 0, const_cast<TDirNode*>(dir));
}

QModelIndex TFoldersTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0 || row >= rowCount(parent)) return {};
  const TDirNode* p = parent.isValid() ? NodeOf(parent) : FRoot;
  return createIndex(row, 0, p->Children[size_t(row)]);
}

QModelIndex TFoldersTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  TDirNode* p = NodeOf(child)->Parent;
  if (!p || p == FRoot) return {};
  const TSlot* s = Find(p);
  return s ? createIndex(s->Row, 0, p) : QModelIndex();
}

int TFoldersTreeModel::rowCount(const QModelIndex& parent) const {
  if (!FRoot) return 0;
  if (!parent.isValid()) return FTopShown;
  if (parent.column() != 0) return 0;
  const TSlot* s = Find(NodeOf(parent));
  return s ? s->Count : 0;
}

int TFoldersTreeModel::columnCount(const QModelIndex&) const { return 1; }

bool TFoldersTreeModel::hasChildren(const QModelIndex& parent) const { return rowCount(parent) > 0; }

QVariant TFoldersTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const TDirNode* d = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
      return QStringLiteral("%1  [%2]").arg(DisplayText(d->Name()), QString::fromStdString(FormatSize(d->TotalSize)));
    case Qt::DecorationRole:
      return FFolderIcon;
    case Qt::ForegroundRole:
      if (d->ReadError() != TReadError::None) return UnreadableColor();
      return {};
    case Qt::ToolTipRole: {
      const QString tip = FolderReadTip(*d);
      if (!tip.isEmpty()) return tip;
      return {};
    }
    default:
      return {};
  }
}

Qt::ItemFlags TFoldersTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace vd::gui
