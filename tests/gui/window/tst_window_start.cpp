// How the window starts beyond its designed state: a scan asked for on the
// command line, and the layout kept from the last session (in a settings
// folder of the test's own, never the user's).
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QSplitter>
#include <QToolButton>
#include <QtTest>

#include "TestUtil.h"
#include "common/Dialogs.h"
#include "window/MainWindow.h"

using namespace vd::gui;

class TestWindowStart : public QObject {
  Q_OBJECT

  vdtest::TempDir FConfig;
  QStringList FErrors;

  QString SettingsFile() const { return QString::fromStdString(FConfig / "vorndale/window.conf"); }

 private slots:
  void initTestCase() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(FConfig.Path()));
    Dialogs().ShowError = [this](QWidget*, const QString& text) { FErrors << text; };
  }
  void init() {
    AppClosing = false;
    FErrors.clear();
    QFile::remove(SettingsFile());
  }

  // As "Open with Vorndale" does it: the source is chosen and the scan runs.
  void scanFromCommandLine_data() {
    QTest::addColumn<bool>("allDrives");
    QTest::newRow("folder") << false;
    QTest::newRow("all drives") << true;
  }
  void scanFromCommandLine() {
    QFETCH(bool, allDrives);
    vdtest::TempDir t;
    for (int i = 0; i < 7; ++i) t.File("d" + std::to_string(i % 3) + "/f" + std::to_string(i), 1000 + i);
    const std::string path = t.Path();
    Drives().GetDrives = [path] { return std::vector<std::string>{path}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
    TfrmMain w;
    w.show();
    w.StartScanFromCommandLine(allDrives, allDrives ? std::string() : path);
    QVERIFY(!w.btnScan->isEnabled());  // running, as after a click on Scan
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    QCOMPARE(FErrors, QStringList());
    QCOMPARE(w.rbAllDrives->isChecked(), allDrives);
    QCOMPARE(w.rbCustomPath->isChecked(), !allDrives);
    if (!allDrives) QCOMPARE(w.cmbCustomPath->currentText(), QString::fromStdString(path));
    QVERIFY2(w.lblStatus->text().startsWith(QStringLiteral("Done. Total files: 7 ")), qPrintable(w.lblStatus->text()));
    QCOMPARE(w.S.FRoot->TotalSize, int64_t(7 * 1000 + 21));
  }

  void layoutIsRemembered() {
    // A tab's treemap above its lists; the page of "Only Files" is hidden
    // when the window closes.
    const struct {
      int Tab;
      const char* Splitter;
      int Lists;
    } kept[] = {{1, "Splitter2", 200}, {0, "Splitter6", 250}};
    {
      TfrmMain w;
      w.RestoreWindowLayout();  // nothing saved yet: the designed start
      w.show();
      QVERIFY(w.windowState() & Qt::WindowMaximized);
      w.showNormal();
      w.setGeometry(40, 50, 900, 640);
      for (const auto& k : kept) {
        w.PageControl1->setCurrentIndex(k.Tab);
        QTest::qWait(20);
        w.findChild<QSplitter*>(QLatin1String(k.Splitter))->setSizes({300, k.Lists});
      }
      w.chPattern->setChecked(true);  // not part of the layout
      w.close();
    }
    QVERIFY(QFile::exists(SettingsFile()));
    {
      TfrmMain w;
      w.RestoreWindowLayout();
      w.show();
      QVERIFY(!(w.windowState() & Qt::WindowMaximized));
      QCOMPARE(w.size(), QSize(900, 640));
      for (const auto& k : kept) {
        w.PageControl1->setCurrentIndex(k.Tab);
        QTest::qWait(20);
        QCOMPARE(w.findChild<QSplitter*>(QLatin1String(k.Splitter))->sizes().value(1), k.Lists);
      }
      QVERIFY(!w.chPattern->isChecked());
      w.showMaximized();
      w.close();
    }
    {
      TfrmMain w;
      w.RestoreWindowLayout();
      w.show();
      QVERIFY(w.windowState() & Qt::WindowMaximized);
      QTest::qWait(20);
      QCOMPARE(w.findChild<QSplitter*>(QStringLiteral("Splitter6"))->sizes().value(1), 250);
    }
    // Only the layout and the size switch are written.
    QSettings s(SettingsFile(), QSettings::NativeFormat);
    QStringList keys = s.allKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{"View/SizeOnDisk", "geometry", "splitters/Splitter1", "splitters/Splitter2",
                                "splitters/Splitter6", "splitters/Splitter7"}));
  }

  // Windows that do not ask for it (every other test's) leave the settings alone.
  void otherWindowsWriteNothing() {
    TfrmMain w;
    w.show();
    w.close();
    QVERIFY(!QFile::exists(SettingsFile()));
  }
};

QTEST_MAIN(TestWindowStart)
#include "tst_window_start.moc"
