// The four tabs inside the real window after a real scan: names that look
// like format placeholders or markup ("a%1b.txt", "%2", "<b>y") reach every
// text exactly as they are, and the toolbar's actions gather each item once.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QRadioButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>

#include "TestUtil.h"
#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "core/layout/HierTreemap.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/files/FilesTab.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "tabs/folders/FoldersTab.h"
#include "window/MainWindow.h"

using namespace vd;
using namespace vd::gui;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Shows the window and scans `path` to the end.
bool Scanned(TfrmMain& w, const std::string& path) {
  w.show();
  w.rbCustomPath->setChecked(true);
  w.cmbCustomPath->setCurrentText(Q(path));
  w.btnScanClick();
  return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000);
}

// What a reader sees of a text that Qt shows with automatic format detection.
QString Seen(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  QTextDocument doc;
  doc.setHtml(text);
  return doc.toPlainText();
}

// The hint of some point of the surface, when one names `path`.
QString HintNaming(TPaintSurface* s, const std::string& path) {
  for (int y = 0; y < s->height(); y += 2)
    for (int x = 0; x < s->width(); x += 2)
      if (const void* hit = s->HitTest(QPoint(x, y))) {
        const QString hint = s->HintFor(hit);
        if (hint.startsWith(Q(path) + "\r\n")) return hint;
      }
  return QString();
}

}  // namespace

class TstWindowTabs : public QObject {
  Q_OBJECT
 private slots:
  void initTestCase() {
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
  }

  void placeholdersAndMarkupInNamesStayText() {
    vdtest::TempDir t;
    const std::string odd = t / "%1 %2", a1 = t.File("%1 %2/a%1b.txt", 2000), two = t.File("%1 %2/%2", 1000);
    t.File("x/a%1b.txt", 2000);
    t.File("<b>y/%2", 1000);
    const std::string markup = t / "<b>y";
    TfrmMain w;
    QVERIFY(Scanned(w, t.Path()));

    // "Files in Folders": node texts and the status of a folder node.
    w.PageControl1->setCurrentWidget(w.FilesInFoldersTab);
    QTreeWidget* tree = w.FilesInFoldersTab->tvFoldersAndFiles;
    QTreeWidgetItem* root = tree->topLevelItem(0);
    tree->expandItem(root);
    QCOMPARE(root->child(0)->text(0), QStringLiteral("%1 %2  [2.9 KB]"));
    QCOMPARE(root->child(2)->text(0), QStringLiteral("<b>y  [1000 B]"));
    tree->expandItem(root->child(0));
    QCOMPARE(root->child(0)->child(0)->text(0), QStringLiteral("a%1b.txt  [2.0 KB]"));
    tree->setCurrentItem(root->child(0));
    QCOMPARE(w.lblStatus->text(), Q(odd) + "  2.9 KB");
    QCOMPARE(HintNaming(w.FilesInFoldersTab->Surface(), a1), Q(a1) + "\r\n2.0 KB");

    // "Only Files": the name column and the status of the file's row.
    w.PageControl1->setCurrentWidget(w.FilesTab);
    QTreeWidget* files = w.FilesTab->FilesList();
    QTreeWidgetItem* row = nullptr;
    for (int i = 0; i < files->topLevelItemCount(); ++i)
      if (files->topLevelItem(i)->text(TFilesTab::colFullPath) == Q(two)) row = files->topLevelItem(i);
    QVERIFY(row);
    QCOMPARE(row->text(TFilesTab::colName), QStringLiteral("%2"));
    files->setCurrentItem(row);
    QCOMPARE(w.lblStatus->text(), Q(two) + "  1000 B");
    QCOMPARE(HintNaming(w.FilesTab->Surface(), two), Q(two) + "\r\n1000 B");

    // "Only Folders": the tree's node, the legend's row, the folder's status.
    w.PageControl1->setCurrentWidget(w.FoldersTab);
    const QModelIndex top = w.FoldersTab->Tree()->model()->index(0, 0);
    QCOMPARE(top.data().toString(), QStringLiteral("%1 %2  [2.9 KB]"));
    QCOMPARE(w.FoldersTab->Legend()->model()->index(2, 0).data().toString(), QStringLiteral("<b>y"));
    QCOMPARE(w.FoldersTab->SelectionStatus(), Q(odd) + "  2.9 KB");
    QCOMPARE(HintNaming(w.FoldersTab->Surface(), markup), Q(markup) + "\r\n1000 B");

    // "Duplicates": group texts, a group's status, a file row's tooltip.
    w.PageControl1->setCurrentWidget(w.DuplicatesTab);
    QTreeView* dups = w.DuplicatesTab->DuplicateFiles();
    const QAbstractItemModel* m = dups->model();
    QCOMPARE(m->index(0, 0).data().toString(), QStringLiteral("a%1b.txt  (2)"));
    QCOMPARE(m->index(1, 0).data().toString(), QStringLiteral("%2  (2)"));
    dups->setCurrentIndex(m->index(1, 0));
    QCOMPARE(w.lblStatus->text(), QStringLiteral("%2  1000 B  (2 duplicates)"));
    QStringList tips;
    for (int r = 0; r < m->rowCount(m->index(1, 0)); ++r) tips << Seen(m->index(r, 0, m->index(1, 0)).data(Qt::ToolTipRole).toString());
    QVERIFY2(tips.contains(Q(markup + "/%2")), qPrintable(tips.join(", ")));
    QCOMPARE(HintNaming(w.DuplicatesTab->Surface(), a1), Q(a1) + "\r\n2.0 KB");
  }

  // The question before a delete lists the names as they are.
  void confirmationListsNamesAsText() {
    QString seen;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      if (auto* l = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        seen = l->textFormat() == Qt::PlainText ? l->text() : Seen(l->text());
      box->done(QMessageBox::No);
    });
    const QStringList names{QStringLiteral("/tmp/<b>keep</b>"), QStringLiteral("/tmp/a%1b")};
    QVERIFY(!AskYesNo(nullptr, TBoxKind::Warning, QStringLiteral("Delete?"), names));
    QCOMPARE(seen, names.join('\n'));
  }
  // What the toolbar's actions gather from the real tabs: each item once, and
  // nothing inside a folder that is itself selected.
  void eachItemOnceAndNothingInsideASelectedFolder() {
    vdtest::TempDir t;
    const std::string inner = t.File("d/in.bin", 300000);
    t.File("d/sub/x.bin", 200000);
    const std::string p = t.File("p/same.dat", 1000), q = t.File("q/same.dat", 1000);
    TfrmMain w;
    QVERIFY(Scanned(w, t.Path()));

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

  // Every treemap is laid out for the size its page really has: a page not yet
  // shown when the scan ends gets its layout on its first show, a page shown
  // before gets it in the build of the next scan.
  void treemapsFitTheirPages() {
    vdtest::TempDir t;
    for (int i = 0; i < 60; ++i)
      t.File("d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".bin", 4000 + i * 100);
    t.File("p/same.dat", 9000);
    t.File("q/same.dat", 9000);
    TfrmMain w;
    w.resize(1100, 760);
    // The tiles' extent against the surface: a layout made for another size
    // reaches past it or covers a sliver of it.
    auto fits = [&](int page) {
      TPaintSurface* s = w.PageControl1->widget(page)->findChild<TPaintSurface*>();
      QRect extent;
      s->ForEachTile([&](const void*, const QRect& r) { extent = extent.united(r); });
      const QRect all(QPoint(0, 0), s->LayoutSize());
      return !extent.isEmpty() && all.contains(extent) && extent.width() * 10 >= all.width() * 9;
    };
    QVERIFY(Scanned(w, t.Path()));
    for (int page = 0; page < 4; ++page) {
      w.PageControl1->setCurrentIndex(page);
      QTRY_VERIFY2(fits(page), qPrintable(QString::number(page)));
    }
    w.PageControl1->setCurrentIndex(0);
    w.btnScanClick();
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    for (int page = 0; page < 4; ++page) QVERIFY2(fits(page), qPrintable(QString::number(page)));
  }
};

QTEST_MAIN(TstWindowTabs)
#include "tst_window_tabs.moc"
