// What the toolbar's actions gather from the real tabs: each item once, and
// nothing inside a folder that is itself selected.
#include <QComboBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include "TestUtil.h"
#include "actions/FileActions.h"
#include "core/layout/HierTreemap.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "window/MainWindow.h"

using namespace vd;
using namespace vd::gui;

class TstGathering : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
  }

  void eachItemOnceAndNothingInsideASelectedFolder() {
    vdtest::TempDir t;
    const std::string inner = t.File("d/in.bin", 300000);
    t.File("d/sub/x.bin", 200000);
    const std::string p = t.File("p/same.dat", 1000), q = t.File("q/same.dat", 1000);
    TfrmMain w;
    w.show();
    w.rbCustomPath->setChecked(true);
    w.cmbCustomPath->setCurrentText(QString::fromStdString(t.Path()));
    w.btnScanClick();
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));

    // "Files in Folders": the folder's node, then a Ctrl+click on a file in it.
    TFilesInFoldersTab* fif = w.FilesInFoldersTab;
    w.PageControl1->setCurrentWidget(fif);
    QTreeWidget* tree = fif->tvFoldersAndFiles;
    tree->expandItem(tree->topLevelItem(0));
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    const THierItem* tile = w.S.FHierMap.GetItemByPath(inner);
    QVERIFY(tile);
    QTest::mouseClick(fif->Surface(), Qt::LeftButton, Qt::ControlModifier,
                      QPoint((tile->Rect.Left + tile->Rect.Right) / 2, (tile->Rect.Top + tile->Rect.Bottom) / 2));
    QCOMPARE(tree->selectedItems().size(), 2);
    QCOMPARE(w.Actions->GatherSelectedPaths(), std::vector<std::string>{t / "d"});

    // "Duplicates": a group and one of its own files.
    w.PageControl1->setCurrentWidget(w.DuplicatesTab);
    QTreeView* dups = w.DuplicatesTab->DuplicateFiles();
    const QModelIndex group = dups->model()->index(0, 0);
    dups->selectionModel()->select(group, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    dups->selectionModel()->select(dups->model()->index(1, 0, group), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    std::vector<std::string> gathered = w.Actions->GatherSelectedPaths();
    std::sort(gathered.begin(), gathered.end());
    QCOMPARE(gathered, (std::vector<std::string>{p, q}));
  }
};

QTEST_MAIN(TstGathering)
#include "tst_gathering.moc"
