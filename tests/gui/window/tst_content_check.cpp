// The content check in the window: after a scan the duplicates tree says for
// each file whether its content is another member's, differs, or could not be
// read; "Select Copies" selects exactly the copies, and the file actions
// gather exactly those; a new scan or closing the window while the check
// reads cancels it without harm.
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeView>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "TestUtil.h"
#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "window/MainWindow.h"

using namespace vd::gui;

namespace {

bool WaitIdle(TfrmMain& w) { return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000); }
bool WaitChecked(TfrmMain& w) {
  return QTest::qWaitFor([&] { return !w.DuplicatesTab->ContentCheckRunning(); }, 60000);
}

void Write(const vdtest::TempDir& t, const std::string& rel, const std::string& bytes, int64_t mtime) {
  const std::string p = t.File(rel);
  std::ofstream(p, std::ios::binary) << bytes;
  const timespec ts[2] = {{mtime, 0}, {mtime, 0}};
  ::utimensat(AT_FDCWD, p.c_str(), ts, 0);
}

void ScanFolder(TfrmMain& w, const std::string& path) {
  w.rbCustomPath->setChecked(true);
  w.cmbCustomPath->setCurrentText(QString::fromStdString(path));
  w.btnScanClick();
}

// What the content column says of each file, by path, and of each group, by name.
std::map<std::string, QString> ColumnTexts(TDupTreeModel& m) {
  std::map<std::string, QString> out;
  for (int g = 0; g < m.GroupCount(); ++g) {
    const QModelIndex group = m.IndexOfGroup(g);
    out[m.GroupAt(g)->FileName] = m.data(m.index(g, TDupTreeModel::colContent)).toString();
    for (int r = 0; r < m.rowCount(group); ++r)
      if (const vd::TFileLeaf* f = m.File(m.index(r, 0, group)))
        out[f->FullPath()] = m.data(m.index(r, TDupTreeModel::colContent, group)).toString();
  }
  return out;
}

}  // namespace

class TestContentCheck : public QObject {
  Q_OBJECT

 private slots:
  void columnAndSelectCopies() {
    vdtest::TempDir t;
    const std::string text(5000, 'q');
    Write(t, "a/same.txt", text, 1000);  // the oldest: stays
    Write(t, "b/same.txt", text, 3000);
    Write(t, "c/same.txt", text, 2000);
    Write(t, "a/cfg.ini", "x=1\n", 1000);  // same size, other bytes
    Write(t, "b/cfg.ini", "y=2\n", 2000);
    Write(t, "a/gone.dat", "0123456789", 1000);
    Write(t, "b/gone.dat", "0123456789", 500);  // the oldest, but gone before it is read
    Write(t, "c/gone.dat", "0123456789", 2000);
    TfrmMain w;
    w.show();
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QVERIFY(WaitChecked(w));
    std::filesystem::remove(t / "b/gone.dat");
    w.DuplicatesTab->StartContentCheck();
    QVERIFY(!w.DuplicatesTab->SelectCopiesButton()->isEnabled());  // not before the check has ended
    QVERIFY(WaitChecked(w));

    TDupTreeModel& m = *w.DuplicatesTab->DuplicateFilesModel();
    const std::map<std::string, QString> expected = {
        {"same.txt", "3 of 3 identical"},    {"cfg.ini", "0 of 2 identical"},  {"gone.dat", "2 of 3 identical"},
        {t / "a/same.txt", "Identical"},     {t / "b/same.txt", "Identical"},  {t / "c/same.txt", "Identical"},
        {t / "a/cfg.ini", "Differs"},        {t / "b/cfg.ini", "Differs"},     {t / "a/gone.dat", "Identical"},
        {t / "b/gone.dat", "Unreadable"},    {t / "c/gone.dat", "Identical"}};
    QCOMPARE(ColumnTexts(m), expected);
    const QModelIndex firstFile = m.index(0, TDupTreeModel::colContent, m.IndexOfGroup(0));
    QVERIFY(m.data(firstFile, Qt::ToolTipRole).toString().contains(QStringLiteral("Same content")));

    // One file of each content stays: the oldest one that could be read.
    QVERIFY(w.DuplicatesTab->SelectCopiesButton()->isEnabled());
    w.PageControl1->setCurrentWidget(w.DuplicatesTab);
    QTest::mouseClick(w.DuplicatesTab->SelectCopiesButton(), Qt::LeftButton);
    std::vector<std::string> gathered = w.Actions->GatherSelectedPaths();
    std::sort(gathered.begin(), gathered.end());
    QCOMPARE(gathered, (std::vector<std::string>{t / "b/same.txt", t / "c/gone.dat", t / "c/same.txt"}));
    QVERIFY2(w.lblStatus->text().startsWith(QStringLiteral("3 copies selected")), qPrintable(w.lblStatus->text()));
    // A selection of the user's own replaces it.
    w.DuplicatesTab->DuplicateFiles()->selectionModel()->setCurrentIndex(
        m.IndexOfGroup(0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(w.Actions->GatherSelectedPaths().size(), m.GroupAt(0)->Files.size());
  }

  // The two ways the last copy went: the oldest deleted by hand after the
  // check, then its twin taken as a copy; and a copy edited after the check.
  void selectCopiesNeverDeletesTheLastCopy() {
    vdtest::TempDir t;
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
      const std::string text(3000, name[1]);
      Write(t, std::string("a/") + name, text, 1000);  // the oldest
      Write(t, std::string("b/") + name, text, 2000);
    }
    TfrmMain w;
    w.show();
    ScanFolder(w, t.Path());
    QVERIFY(WaitIdle(w));
    QVERIFY(WaitChecked(w));
    QStringList lists, errors;
    Dialogs().AskYesNo = [](QWidget*, TBoxKind, const QString&, const QStringList&) { return true; };
    Dialogs().ShowError = [&](QWidget*, const QString& text) { errors << text; };
    Dialogs().ShowList = [&](QWidget*, const QString& text, const QStringList& details) {
      lists << text << details;
    };
    w.PageControl1->setCurrentWidget(w.DuplicatesTab);
    TDupTreeModel& m = *w.DuplicatesTab->DuplicateFilesModel();
    for (int g = 0; g < m.GroupCount(); ++g)
      for (int r = 0; r < m.rowCount(m.IndexOfGroup(g)); ++r) {
        const QModelIndex node = m.index(r, 0, m.IndexOfGroup(g));
        if (m.File(node) && m.File(node)->FullPath() == t / "a/one.txt")
          w.DuplicatesTab->DuplicateFiles()->selectionModel()->setCurrentIndex(
              node, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      }
    QCOMPARE(w.Actions->GatherSelectedPaths(), std::vector<std::string>{t / "a/one.txt"});
    w.Actions->btnRemoveClick();
    QVERIFY(!std::filesystem::exists(t / "a/one.txt"));
    Write(t, "b/two.txt", std::string(3000, 'X'), 2000);  // edited since the check

    QTest::mouseClick(w.DuplicatesTab->SelectCopiesButton(), Qt::LeftButton);
    std::vector<std::string> gathered = w.Actions->GatherSelectedPaths();
    std::sort(gathered.begin(), gathered.end());
    QCOMPARE(gathered, (std::vector<std::string>{t / "b/three.txt", t / "b/two.txt"}));
    w.Actions->btnRemoveClick();
    Dialogs() = {};
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(',')));
    QVERIFY(!std::filesystem::exists(t / "b/three.txt"));
    for (const char* left : {"b/one.txt", "a/two.txt", "b/two.txt", "a/three.txt"})
      QVERIFY2(std::filesystem::exists(t / left), left);
    QCOMPARE(lists, (QStringList{"1 of 2 copies were left in place:",
                                 QString::fromStdString(t / "b/two.txt") + " (changed since the check)"}));
  }

  // Sparse files of zeros: every group a copy, and gigabytes to read.
  void newScanOrCloseDuringTheCheck() {
    vdtest::TempDir t;
    for (int g = 0; g < 32; ++g)
      for (const char* dir : {"a/", "b/"}) t.File(dir + std::to_string(g) + ".img", int64_t(256) << 20);
    auto* w = new TfrmMain;
    w->show();
    ScanFolder(*w, t.Path());
    QVERIFY(WaitIdle(*w));
    QVERIFY(w->DuplicatesTab->ContentCheckRunning());
    ScanFolder(*w, t.Path());  // cancels the check before the tree goes
    QVERIFY(!w->DuplicatesTab->ContentCheckRunning());
    QVERIFY(WaitIdle(*w));
    QCOMPARE(w->S.FAllFiles.size(), size_t(64));
    QVERIFY(w->DuplicatesTab->ContentCheckRunning());  // again, over the new groups
    w->close();
    delete w;
    AppClosing = false;
  }

  // With VORNDALE_SCREENSHOTS set: the window while the check runs, and the
  // duplicates tab after Select Copies, over /usr/share/doc.
  void screenshot() {
    if (qEnvironmentVariableIsEmpty("VORNDALE_SCREENSHOTS")) QSKIP("VORNDALE_SCREENSHOTS not set");
    TfrmMain w;
    w.setWindowState(Qt::WindowNoState);
    w.resize(1240, 760);
    w.show();
    w.PageControl1->setCurrentWidget(w.DuplicatesTab);
    ScanFolder(w, "/usr/share");
    QVERIFY(WaitIdle(w));
    QTest::qWait(130);
    QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
    QVERIFY(w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/content_check_running.png")));
    QVERIFY(WaitChecked(w));
    w.DuplicatesTab->SelectCopies();
    QTest::qWait(50);
    QVERIFY(w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/content_check_copies.png")));
  }
};

QTEST_MAIN(TestContentCheck)
#include "tst_content_check.moc"
