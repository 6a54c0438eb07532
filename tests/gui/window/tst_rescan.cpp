// "Rescan" (F5) in the window: the folder of the file selected on "Only
// Files" is walked again, and the status line's totals take in the file added
// there since the scan, and nothing from the folders left alone.
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include "TestUtil.h"
#include "core/results/Format.h"
#include "tabs/files/FilesTab.h"
#include "window/MainWindow.h"

using namespace vd::gui;

namespace {

bool WaitIdle(TfrmMain& w) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000); }

QString Done(int files, int64_t bytes) {
  return QStringLiteral("Done. Total files: %1   Total size: %2").arg(files).arg(QString::fromStdString(vd::FormatSize(bytes)));
}

}  // namespace

class TestRescan : public QObject {
  Q_OBJECT

 private slots:
  void f5RescansTheSelectedFilesFolder() {
    vdtest::TempDir t;
    t.File("a/x.bin", 100);
    t.File("b/y.bin", 200);
    TfrmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.rbCustomPath->setChecked(true);
    w.cmbCustomPath->setCurrentText(QString::fromStdString(t.Path()));
    w.btnScanClick();
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.lblStatus->text(), Done(2, 300));

    t.File("a/new.bin", 1000);
    t.File("b/unseen.bin", 5000);  // not rescanned
    w.PageControl1->setCurrentWidget(w.FilesTab);
    QTreeWidget* files = w.FilesTab->FilesList();
    const QList<QTreeWidgetItem*> x = files->findItems(QStringLiteral("x.bin"), Qt::MatchExactly, TFilesTab::colName);
    QCOMPARE(x.size(), 1);
    files->setCurrentItem(x[0]);
    QTest::keyClick(&w, Qt::Key_F5);
    QTest::qWait(300);  // a button's shortcut clicks it after a short show of the press
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.lblStatus->text(), Done(3, 1300));
    QCOMPARE(files->topLevelItemCount(), 3);
  }
};

QTEST_MAIN(TestRescan)
#include "tst_rescan.moc"
