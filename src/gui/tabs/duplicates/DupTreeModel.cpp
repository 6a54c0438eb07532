#include "DupTreeModel.h"

#include <QTextDocument>

#include "tabs/duplicates/ContentColumn.h"
#include "views/IconCache.h"
#include "views/Shell.h"

namespace vd::gui {

// internalId: 0 for a group node, the group's row + 1 for its children.

namespace {
// A tooltip would read a name such as "<b>x</b>" as markup; it gets the text
// as it is.
QVariant Tooltip(int role, const QString& text) {
  return role == Qt::ToolTipRole ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}
}  // namespace

void TDupTreeModel::Clear() {
  beginResetModel();
  FGroups.clear();
  FRowOf.clear();
  FIconByExt.clear();
  FVerdicts.reset();
  endResetModel();
}

void TDupTreeModel::SetVerdicts(std::unique_ptr<TContentCheckResult> verdicts) {
  FVerdicts = std::move(verdicts);
  ShowVerdicts();
}

void TDupTreeModel::ShowVerdicts() {
  for (int g = 0; g < GroupCount(); ++g) {
    const QModelIndex group = index(g, colContent);
    emit dataChanged(group, group);
    if (const int n = rowCount(index(g, 0)))
      emit dataChanged(index(0, colContent, index(g, 0)), index(n - 1, colContent, index(g, 0)));
  }
}

const std::vector<TMemberVerdict>* TDupTreeModel::GroupVerdicts(const QModelIndex& index) const {
  if (!FVerdicts) return nullptr;
  const size_t row = index.internalId() == 0 ? size_t(index.row()) : size_t(index.internalId() - 1);
  if (row >= FVerdicts->Groups.size() || row >= FGroups.size()) return nullptr;
  const auto& verdicts = FVerdicts->Groups[row];
  return verdicts.size() == FGroups[row]->Files.size() ? &verdicts : nullptr;
}

void TDupTreeModel::AppendGroup(TDupGroup* group) {
  const int row = int(FGroups.size());
  beginInsertRows({}, row, row);
  FGroups.push_back(group);
  FRowOf.emplace(group, row);
  endInsertRows();
}

TDupTreeModel::TNodeKind TDupTreeModel::Kind(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return TNodeKind::None;
  if (index.internalId() == 0) return TNodeKind::Group;
  return index.row() < ShownFiles(*Group(index)) ? TNodeKind::File : TNodeKind::Overflow;
}

TDupGroup* TDupTreeModel::Group(const QModelIndex& index) const {
  if (!index.isValid() || index.model() != this) return nullptr;
  const size_t row = index.internalId() == 0 ? size_t(index.row()) : size_t(index.internalId() - 1);
  return row < FGroups.size() ? FGroups[row] : nullptr;
}

TFileLeaf* TDupTreeModel::File(const QModelIndex& index) const {
  return Kind(index) == TNodeKind::File ? Group(index)->Files[size_t(index.row())] : nullptr;
}

QModelIndex TDupTreeModel::IndexOfFile(const TFileLeaf* leaf, const TDupGroup* group) const {
  const auto it = FRowOf.find(group);
  if (!leaf || it == FRowOf.end()) return {};
  const int shown = ShownFiles(*group);
  for (int i = 0; i < shown; ++i)
    if (group->Files[size_t(i)] == leaf) return createIndex(i, 0, quintptr(it->second) + 1);
  return {};
}

QModelIndex TDupTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column < 0 || column > colContent || row < 0) return {};
  if (!parent.isValid()) return row < int(FGroups.size()) ? createIndex(row, column, quintptr(0)) : QModelIndex();
  if (parent.internalId() != 0 || parent.column() != 0 || row >= rowCount(parent)) return {};
  return createIndex(row, column, quintptr(parent.row()) + 1);
}

QModelIndex TDupTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid() || child.internalId() == 0) return {};
  return createIndex(int(child.internalId() - 1), 0, quintptr(0));
}

int TDupTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return int(FGroups.size());
  if (parent.column() != 0 || parent.internalId() != 0) return 0;
  const TDupGroup* g = Group(parent);
  if (!g) return 0;
  return ShownFiles(*g) + (g->Files.size() > size_t(kDupTreeMaxFiles) ? 1 : 0);
}

Qt::ItemFlags TDupTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.internalId() != 0) f |= Qt::ItemNeverHasChildren;
  return f;
}

QIcon TDupTreeModel::IconForExt(const QString& ext) const {
  auto it = FIconByExt.constFind(ext);
  if (it != FIconByExt.constEnd()) return *it;
  // A name without an extension asks about a bare name: the generic file icon.
  const QIcon icon = TIconCache::Instance().ExtIcon(ext == QLatin1String("<none>") ? QString() : ext);
  FIconByExt.insert(ext, icon);
  return icon;
}

QVariant TDupTreeModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole && role != Qt::DecorationRole && role != Qt::ToolTipRole) return {};
  const TNodeKind kind = Kind(index);
  const TDupGroup* g = Group(index);
  if (!g) return {};
  const std::vector<TMemberVerdict>* verdicts = GroupVerdicts(index);
  if (index.column() == colContent) {
    if (role == Qt::ToolTipRole) return data(index.siblingAtColumn(0), role);  // the row's
    if (role != Qt::DisplayRole || !verdicts) return {};
    if (kind == TNodeKind::Group) return GroupVerdictText(*verdicts);
    if (kind == TNodeKind::File) return MemberVerdictText(*verdicts, size_t(index.row()));
    return {};
  }
  switch (kind) {
    case TNodeKind::Group: {
      if (role == Qt::DecorationRole) {
        const std::string_view ext = ExtractExtension(g->FileName);
        return IconForExt(ext.empty() ? QStringLiteral("<none>") : DisplayText(ext).toLower());
      }
      // Joined, not formatted: a name may itself hold "%1".
      const QString text =
          DisplayText(g->FileName) + QStringLiteral("  (") + QString::number(g->Files.size()) + QLatin1Char(')');
      if (role == Qt::ToolTipRole && verdicts)
        return Tooltip(role, text + QLatin1Char('\n') + GroupVerdictText(*verdicts));
      return Tooltip(role, text);
    }
    case TNodeKind::File: {
      const TFileLeaf* f = g->Files[size_t(index.row())];
      if (role == Qt::DecorationRole) {
        const std::string_view ext = f->Ext();  // stored lower-cased
        return IconForExt(ext.empty() ? QStringLiteral("<none>") : DisplayText(ext));
      }
      if (role == Qt::ToolTipRole && verdicts)
        return Tooltip(role, DisplayText(f->FullPath()) + QLatin1Char('\n') +
                                 MemberVerdictHint(*verdicts, size_t(index.row())));
      return Tooltip(role, DisplayText(f->FullPath()));
    }
    case TNodeKind::Overflow:
      if (role == Qt::DecorationRole) return {};
      return QStringLiteral("... %1 more files not shown").arg(qlonglong(g->Files.size()) - kDupTreeMaxFiles);
    case TNodeKind::None:
      break;
  }
  return {};
}

}  // namespace vd::gui
