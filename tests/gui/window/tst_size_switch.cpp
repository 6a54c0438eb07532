// The size switch in the window: Ctrl+D or the toolbar puts every view in the
// other measure without a new scan (a sparse file then takes no room), the
// second size column shows the other measure and marks hard links, the choice
// outlives the window, and folders a scan file says could not be read are
// marked in the trees and counted in the status bar.
#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QTabWidget>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

#include <fstream>
#include <unistd.h>

#include "TestUtil.h"
#include "common/Dialogs.h"
#include "core/results/Format.h"
#include "tabs/files/FilesTab.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"
#include "window/SizeSwitch.h"

using namespace vd;
using namespace vd::gui;

namespace {

QStringList gErrors;

bool WaitIdle(TfrmMain& w) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000); }

void ScanFolder(TfrmMain& w, const std::string& path) {
  w.rbCustomPath->setChecked(true);
  w.cmbCustomPath->setCurrentText(QString::fromStdString(path));
  w.btnScanClick();
}

QString DoneLine(const TfrmMain& w) {
  return QStringLiteral("Done. Total files: %1   Total size: %2")
      .arg(qlonglong(w.S.FAllFiles.size()))
      .arg(QString::fromStdString(FormatSize(w.S.FAllTotalBytes)));
}

QTreeWidgetItem* RowNamed(QTreeWidget* list, const QString& name) {
  for (int i = 0; i < list->topLevelItemCount(); ++i)
    if (list->topLevelItem(i)->text(TFilesTab::colName) == name) return list->topLevelItem(i);
  return nullptr;
}

const char kUnreadable[] = R"([1,2,{"progname":"by hand"},
[{"name":"/srv/box"},{"name":"a.txt","asize":10},
 [{"name":"locked","read_error":true}],
 [{"name":"open"},[{"name":"deeper","read_error":true}],{"name":"b.txt","asize":5}]]])";

}  // namespace

class TestSizeSwitch : public QObject {
  Q_OBJECT
  vdtest::TempDir FConfig;

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(FConfig.Path()));
    Dialogs().ShowError = [](QWidget*, const QString& text) { gErrors << text; };
  }
  void init() {
    gErrors.clear();
    AppClosing = false;
  }

  void switchRebuildsFromTheSameTree() {
    vdtest::TempDir t;
    t.File("disk/image.raw", 300 << 20);  // sparse: no block allocated
    {
      std::ofstream(t / "disk/real.bin", std::ios::binary) << std::string(200000, 'x');
    }
    QVERIFY(::link((t / "disk/real.bin").c_str(), (t / "disk/again.bin").c_str()) == 0);
    TfrmMain w;
    w.resize(1200, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.SizeSwitch->Measure(), TSizeMeasure::Apparent);
    const int64_t apparent = w.S.FAllTotalBytes;
    QCOMPARE(apparent, int64_t(300 << 20) + 2 * 200000);
    QCOMPARE(w.lblStatus->text(), DoneLine(w));
    const TDirNode* rootBefore = w.S.FRoot.get();
    auto* list = w.findChild<QTreeWidget*>(QStringLiteral("lvFiles"));
    QCOMPARE(RowNamed(list, "image.raw")->text(TFilesTab::colOtherSize), QString::fromStdString(FormatSize(0)));

    QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier);
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.SizeSwitch->Measure(), TSizeMeasure::OnDisk);
    QVERIFY(w.SizeSwitch->Button()->isChecked());
    QCOMPARE(w.S.FRoot.get(), rootBefore);  // not scanned again
    // One link of the two counts; the sparse file counts nothing.
    const TDirNode* disk = w.S.FRoot->Children[0];
    QVERIFY(w.S.FAllTotalBytes >= 200000 && w.S.FAllTotalBytes < 300000);
    QCOMPARE(w.S.FRoot->TotalSize, w.S.FRoot->OwnAllocated + disk->TotalSize);
    QCOMPARE(w.lblStatus->text(), DoneLine(w));
    QCOMPARE(list->headerItem()->text(TFilesTab::colOtherSize), QStringLiteral("Apparent size"));
    QTreeWidgetItem* image = RowNamed(list, "image.raw");
    QCOMPARE(image->text(TFilesTab::colSize), QString::fromStdString(FormatSize(0)));
    QCOMPARE(image->text(TFilesTab::colOtherSize), QString::fromStdString(FormatSize(300 << 20)));
    int linkMarks = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      linkMarks += list->topLevelItem(i)->text(TFilesTab::colOtherSize).contains(QStringLiteral("hard link"));
    QCOMPARE(linkMarks, 2);
    // The largest file on disk comes first now.
    QVERIFY(list->topLevelItem(0)->text(TFilesTab::colName) != QStringLiteral("image.raw"));

    w.SizeSwitch->Button()->click();
    QVERIFY(WaitIdle(w));
    QCOMPARE(w.S.FAllTotalBytes, apparent);
    QCOMPARE(list->topLevelItem(0)->text(TFilesTab::colName), QStringLiteral("image.raw"));
    QVERIFY(gErrors.isEmpty());
  }

  void choiceIsRemembered() {
    {
      TfrmMain w;
      w.RestoreWindowLayout();
      QCOMPARE(w.SizeSwitch->Measure(), TSizeMeasure::Apparent);
      w.SizeSwitch->Button()->click();
      w.close();
    }
    {
      TfrmMain w;
      w.RestoreWindowLayout();
      QCOMPARE(w.SizeSwitch->Measure(), TSizeMeasure::OnDisk);
      QCOMPARE(w.SizeSwitch->Button()->accessibleName(), QStringLiteral("Size on disk"));
      w.SizeSwitch->SetMeasure(TSizeMeasure::Apparent);
      w.close();
    }
    // A window that does not remember its layout starts in the default.
    TfrmMain w;
    QCOMPARE(w.SizeSwitch->Measure(), TSizeMeasure::Apparent);
  }

  void unreadableFoldersAreMarked() {
    vdtest::TempDir t;
    const std::string file = t / "box.json";
    std::ofstream(file, std::ios::binary) << kUnreadable;
    TfrmMain w;
    w.resize(1200, 800);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.ScanFiles->OpenScanFile(file);
    QVERIFY(WaitIdle(w));
    QVERIFY(gErrors.isEmpty());
    QToolButton* indicator = w.SizeSwitch->Indicator();
    QVERIFY(indicator->isVisible());
    QCOMPARE(indicator->text(), QStringLiteral("2 folders could not be read"));
    QVERIFY(indicator->toolTip().startsWith(QStringLiteral("/srv/box/locked")));
    // The status texts stay as they were.
    QCOMPARE(w.lblStatus->text(), DoneLine(w));
    indicator->click();
    QCOMPARE(gErrors.size(), 1);
    QVERIFY(gErrors[0].contains(QStringLiteral("/srv/box/open/deeper")));

    auto* tree = w.findChild<QAbstractItemView*>(QStringLiteral("tvFolders"));
    QVERIFY(tree);
    bool marked = false;
    const QModelIndex top = tree->model()->index(0, 0);
    for (int r = 0; r < tree->model()->rowCount(top); ++r) {
      const QModelIndex i = tree->model()->index(r, 0, top);
      if (i.data().toString().startsWith(QStringLiteral("locked")))
        marked = i.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("Could not be read"));
    }
    if (!marked) {  // a tree whose top row is the first folder
      for (int r = 0; r < tree->model()->rowCount(); ++r) {
        const QModelIndex i = tree->model()->index(r, 0);
        if (i.data().toString().startsWith(QStringLiteral("locked")))
          marked = i.data(Qt::ToolTipRole).toString().startsWith(QStringLiteral("Could not be read"));
      }
    }
    QVERIFY(marked);
    if (qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) {
      QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
      w.SizeSwitch->SetMeasure(TSizeMeasure::OnDisk);
      QVERIFY(WaitIdle(w));
      for (int i = 0; i < 3; ++i) {
        w.PageControl1->setCurrentIndex(i);
        QTest::qWait(50);
        w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/size_switch_tab%1.png").arg(i));
      }
      w.SizeSwitch->SetMeasure(TSizeMeasure::Apparent);
      QVERIFY(WaitIdle(w));
    }

    // A scan of a tree where everything can be read has no indicator.
    vdtest::TempDir plain;
    plain.File("f", 3);
    ScanFolder(w, plain.Path());
    QVERIFY(WaitIdle(w));
    QVERIFY(!indicator->isVisible());
  }
};

QTEST_MAIN(TestSizeSwitch)
#include "tst_size_switch.moc"
