// The duplicates tree as a model over the groups themselves: a top-level row per
// group, its first 500 files under it, then one row naming how many more there
// are. Up to a million file rows cost nothing here; the view asks only for the
// rows it shows.
#pragma once

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/results/ContentCheck.h"
#include "core/results/Duplicates.h"

namespace vd::gui {

constexpr int kDupTreeMaxFiles = 500;

class TDupTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  enum class TNodeKind { None, Group, File, Overflow };
  // Column 1: what the content check found (empty until it has ended).
  static constexpr int colContent = 1;

  using QAbstractItemModel::QAbstractItemModel;

  // Removes every node, the verdicts, and forgets the cached icons.
  void Clear();
  // The content check's verdicts, parallel to the groups in order; null
  // empties the column.
  void SetVerdicts(std::unique_ptr<TContentCheckResult> verdicts);
  const TContentCheckResult* Verdicts() const { return FVerdicts.get(); }
  // Changes the verdicts in place (null when there are none); the column is
  // drawn again from them.
  template <class TEdit>
  void EditVerdicts(TEdit&& edit) {
    if (!FVerdicts) return;
    edit(*FVerdicts);
    ShowVerdicts();
  }
  // Appends one group node with its file nodes (and the overflow node).
  void AppendGroup(TDupGroup* group);

  int GroupCount() const { return int(FGroups.size()); }
  TDupGroup* GroupAt(int row) const { return FGroups[size_t(row)]; }
  // File nodes a group shows (at most 500).
  static int ShownFiles(const TDupGroup& g) { return int(std::min<size_t>(g.Files.size(), kDupTreeMaxFiles)); }

  TNodeKind Kind(const QModelIndex& index) const;
  // The node's group: its own for a group node, its parent's for the others.
  TDupGroup* Group(const QModelIndex& index) const;
  // The file of a file node, else null.
  TFileLeaf* File(const QModelIndex& index) const;
  // The node that carries `leaf`, when the tree shows it.
  QModelIndex IndexOfFile(const TFileLeaf* leaf, const TDupGroup* group) const;
  QModelIndex IndexOfGroup(int row) const { return index(row, 0); }

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& = {}) const override { return 2; }
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // Extension with its dot, lower-cased, or "<none>".
  QIcon IconForExt(const QString& ext) const;
  // The node's group's verdicts, when they are this group's.
  const std::vector<TMemberVerdict>* GroupVerdicts(const QModelIndex& index) const;
  void ShowVerdicts();

  std::vector<TDupGroup*> FGroups;
  std::unordered_map<const TDupGroup*, int> FRowOf;
  mutable QHash<QString, QIcon> FIconByExt;  // one fill's cache
  std::unique_ptr<TContentCheckResult> FVerdicts;
};

}  // namespace vd::gui
