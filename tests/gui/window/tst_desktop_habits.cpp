// What a desktop user does without the toolbar, through the real window after
// a real scan: keys, the context menu with its selection rule, dragging items
// out, dropping folders in, the treemap's arrow keys, the tab order and the
// accessible tree.
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>

#include "TestUtil.h"
#include "actions/ContextMenu.h"
#include "actions/DragOut.h"
#include "actions/FileActions.h"
#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "core/scan/Splice.h"
#include "tabs/duplicates/DuplicatesTab.h"
#include "tabs/files/FilesTab.h"
#include "tabs/filesinfolders/FilesInFoldersTab.h"
#include "views/Shell.h"
#include "views/TileNeighbour.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"

using namespace vd;
using namespace vd::gui;

// Before the application exists, so that Qt builds the accessible tree.
static const bool gAccessibility = [] { return qputenv("QT_ACCESSIBILITY", "1"); }();

namespace {

using TPaths = std::vector<std::string>;

QString Q(const std::string& s) { return QString::fromStdString(s); }
QString Uri(const std::string& path) { return QString::fromLatin1(FileUrlFromPath(path).toEncoded()); }
// A file URI written out by hand: the path's bytes, percent-encoded.
QByteArray HandUri(const std::string& path) {
  return "file://" + QByteArray(path.data(), qsizetype(path.size())).toPercentEncoding("/");
}

bool ScanAndWait(TfrmMain& w, const std::string& path) {
  w.rbCustomPath->setChecked(true);
  w.cmbCustomPath->setCurrentText(Q(path));
  w.btnScanClick();
  return QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000);
}

TResultTab* TabAt(TfrmMain& w, int i) { return qobject_cast<TResultTab*>(w.PageControl1->widget(i)); }

// The row or node of `view` standing for `what`: a path, or "text:X" for the
// first row whose text begins with X. Folders are expanded on the way.
QModelIndex FindItem(TResultTab* tab, QAbstractItemView* view, const std::string& what) {
  QAbstractItemModel* m = view->model();
  auto* tree = qobject_cast<QTreeView*>(view);
  std::function<QModelIndex(const QModelIndex&)> walk = [&](const QModelIndex& parent) -> QModelIndex {
    for (int r = 0; r < m->rowCount(parent); ++r) {
      const QModelIndex i = m->index(r, 0, parent);
      if (what.starts_with("text:")) {
        if (i.data().toString().startsWith(Q(what.substr(5)))) return i;
      } else if (tab->ItemPaths(view, i, nullptr) == std::optional<TPaths>(TPaths{what})) {
        return i;
      }
      if (tree && m->hasChildren(i)) tree->expand(i);
      if (QModelIndex found = walk(i); found.isValid()) return found;
    }
    return {};
  };
  return walk({});
}

// A point of the treemap where a click selects the tile standing for `path`.
QPoint FindTile(TResultTab* tab, const std::string& path) {
  TPaintSurface* s = tab->Surface();
  QPoint at(-1, -1);
  s->ForEachTile([&](const void* tile, const QRect& r) {
    if (at.x() >= 0 || tab->ItemPaths(s, {}, tile) != std::optional<TPaths>(TPaths{path})) return;
    for (int y = r.top(); y <= r.bottom() && at.x() < 0; ++y)
      for (int x = r.left(); x <= r.right() && at.x() < 0; ++x)
        if (s->HitTest(QPoint(x, y)) == tile) at = QPoint(x, y);
  });
  const qreal ratio = s->devicePixelRatioF();
  return at.x() < 0 ? at : QPoint(int((at.x() + 0.5) / ratio), int((at.y() + 0.5) / ratio));
}

QPoint CentreOf(const QRect& r) { return QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2); }

void RightClick(QWidget* w, QPoint p) {
  QTest::mousePress(w, Qt::RightButton, {}, p);
  QContextMenuEvent ev(QContextMenuEvent::Mouse, p, w->mapToGlobal(p));
  QApplication::sendEvent(w, &ev);
  QTest::mouseRelease(w, Qt::RightButton, {}, p);
}

// What the desktop was asked to do: questions, clipboard, shell calls, tab.
struct TEffects {
  QStringList Log;
  TShellSeam Saved = Shell();
  TEffects() {
    Dialogs().AskYesNo = [this](QWidget*, TBoxKind, const QString& text, const QStringList&) {
      Log << "ask " + text;
      return false;
    };
    Dialogs().ShowError = [this](QWidget*, const QString& text) { Log << "error " + text; };
    ScanFileDialogs().AskOpenName = [this](QWidget*) {
      Log << "ask open scan";
      return QString();
    };
    ScanFileDialogs().AskSaveName = [this](QWidget*, const QString&) {
      Log << "ask save scan";
      return QString();
    };
    Shell().OpenUrl = [this](const QUrl& u) {
      Log << "open " + QString::fromLatin1(u.toEncoded());
      return true;
    };
    Shell().FileManager = [this](const QString& method, const QStringList& uris) {
      Log << method + " " + uris.join(' ');
      return true;
    };
    QApplication::clipboard()->setText(QStringLiteral("before"));
  }
  ~TEffects() {
    Shell() = Saved;
    Dialogs() = {};
    ScanFileDialogs() = {};
  }
  QStringList Seen() const {
    QStringList all = Log;
    if (QApplication::clipboard()->text() != QLatin1String("before")) all << "clipboard " + QApplication::clipboard()->text();
    return all;
  }
};

}  // namespace

class TstDesktopHabits : public QObject {
  Q_OBJECT

  vdtest::TempDir T;
  std::string A, B, C, Odd, P, Q_, PTwin, QTwin;
  std::unique_ptr<TfrmMain> W;

  TfrmMain& Win() { return *W; }
  void Activate() {
    Win().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Win()));
  }
  // One selected row of "Only Files", the list having the focus.
  void SelectInFiles(const std::string& path) {
    Win().PageControl1->setCurrentWidget(Win().FilesTab);
    QTreeWidget* list = Win().FilesTab->FilesList();
    const QModelIndex row = FindItem(Win().FilesTab, list, path);
    QVERIFY(row.isValid());
    list->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->setFocus();
  }

 private slots:
  void initTestCase() {
    Drives().GetDrives = [] { return TPaths{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
    A = T.File("big/a.bin", 300000);
    B = T.File("big/b.bin", 200000);
    C = T.File("big/sub/c.bin", 100000);
    Odd = T.File("caf\xE9 x.bin", 150000);  // not UTF-8
    P = T.File("p/same.dat", 5000);
    Q_ = T.File("q/same.dat", 5000);
    PTwin = T.File("p/twin.txt", 3000);
    QTwin = T.File("q/twin.txt", 3000);
    W = std::make_unique<TfrmMain>();
    Win().resize(1200, 800);
    Win().show();
    QVERIFY(QTest::qWaitForWindowExposed(&Win()));
    QVERIFY(ScanAndWait(Win(), T.Path()));
  }
  void init() { AppClosing = false; }
  void cleanupTestCase() { W.reset(); }

  // ---- keys ----------------------------------------------------------------------

  void keysClickTheirButtons_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("button");  // whose tooltip names the key
    QTest::addColumn<QString>("keyText");
    QTest::addColumn<QStringList>("seen");
    const QString a = Q(A);
    QTest::newRow("Del") << int(Qt::Key_Delete) << 0 << "btnRemoveToRecycleBin" << "Del"
                         << QStringList{"ask Move 1 item(s) to Recycle Bin?"};
    QTest::newRow("Shift+Del") << int(Qt::Key_Delete) << int(Qt::ShiftModifier) << "btnRemove" << "Shift+Del"
                               << QStringList{"ask Permanently delete 1 item(s)?\n(This cannot be undone)"};
    QTest::newRow("Ctrl+C") << int(Qt::Key_C) << int(Qt::ControlModifier) << "btnCopyPath" << "Ctrl+C"
                            << QStringList{"clipboard " + a};
    QTest::newRow("Enter") << int(Qt::Key_Return) << 0 << "btnOpen" << "Enter" << QStringList{"open " + Uri(A)};
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << "btnOpen" << "Enter"
                                  << QStringList{"open " + Uri(A)};
    QTest::newRow("Ctrl+Enter") << int(Qt::Key_Return) << int(Qt::ControlModifier) << "btnOpenExplorer"
                                << "Ctrl+Enter" << QStringList{"ShowItems " + Uri(A)};
    QTest::newRow("Alt+Enter") << int(Qt::Key_Return) << int(Qt::AltModifier) << "btnShowProperties" << "Alt+Enter"
                               << QStringList{"ShowItemProperties " + Uri(A)};
    QTest::newRow("Ctrl+O") << int(Qt::Key_O) << int(Qt::ControlModifier) << "btnOpenScan" << "Ctrl+O"
                            << QStringList{"ask open scan"};
    QTest::newRow("Ctrl+S") << int(Qt::Key_S) << int(Qt::ControlModifier) << "btnSaveScan" << "Ctrl+S"
                            << QStringList{"ask save scan"};
    // The folder of the selected file walked again: the rest of the results stay.
    QTest::newRow("F5") << int(Qt::Key_F5) << 0 << "btnRescan" << "F5" << QStringList{"rescanned " + Q(T / "big")};
    QTest::newRow("Ctrl+1") << int(Qt::Key_1) << int(Qt::ControlModifier) << "" << "" << QStringList{"tab Files in Folders"};
    QTest::newRow("Ctrl+2") << int(Qt::Key_2) << int(Qt::ControlModifier) << "" << "" << QStringList{};  // already there
    QTest::newRow("Ctrl+3") << int(Qt::Key_3) << int(Qt::ControlModifier) << "" << "" << QStringList{"tab Only Folders"};
    QTest::newRow("Ctrl+4") << int(Qt::Key_4) << int(Qt::ControlModifier) << "" << "" << QStringList{"tab Duplicates"};
    QTest::newRow("Esc, nothing running") << int(Qt::Key_Escape) << 0 << "btnStop" << "Esc" << QStringList{};
  }
  void keysClickTheirButtons() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, button);
    QFETCH(QString, keyText);
    QFETCH(QStringList, seen);
    Activate();
    SelectInFiles(A);
    TEffects effects;
    const size_t files = Win().S.FAllFiles.size();
    const auto folder = [&](const char* name) { return FolderOfPath(Win().S.FRoot.get(), T / name); };
    const TDirNode *big = folder("big"), *p = folder("p");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QVERIFY(QTest::qWaitFor([&] { return Win().btnScan->isEnabled(); }, 60000));
    QStringList got = effects.Seen();
    QCOMPARE(Win().S.FAllFiles.size(), files);
    if (folder("big") != big) got << "rescanned " + Q(T / "big");
    if (folder("p") != p) got << "rescanned " + Q(T / "p");
    if (Win().PageControl1->currentWidget() != Win().FilesTab) got << "tab " + Win().PageControl1->tabText(Win().PageControl1->currentIndex());
    QCOMPARE(got, seen);
    if (!button.isEmpty()) {
      auto* b = Win().findChild<QToolButton*>(button);
      QVERIFY(b->toolTip().endsWith(" (" + keyText + ")"));
    }
  }

  // A key does nothing while a dialog is up, nor what its button could not.
  void keysRestWhileModalOrBusy() {
    Activate();
    SelectInFiles(A);
    TEffects effects;
    QMessageBox box(QMessageBox::Information, "x", "x", QMessageBox::Ok, &Win());
    QTimer::singleShot(0, [&] {
      for (int k : {Qt::Key_Delete, Qt::Key_Return}) QTest::keyClick(Win().FilesTab->FilesList(), Qt::Key(k));
      for (int k : {Qt::Key_2, Qt::Key_O, Qt::Key_S}) QTest::keyClick(&Win(), Qt::Key(k), Qt::ControlModifier);
      QTest::keyClick(&Win(), Qt::Key_F5);
      box.done(0);
    });
    box.exec();
    QCOMPARE(effects.Seen(), QStringList{});
    QCOMPARE(Win().PageControl1->currentWidget(), Win().FilesTab);
    QVERIFY(Win().btnScan->isEnabled());  // no rescan began

    // Esc stops a scan; while it runs Del finds nothing to move.
    vdtest::TempDir big;
    for (int d = 0; d < 300; ++d)
      for (int f = 0; f < 40; ++f) big.File("d" + std::to_string(d) + "/f" + std::to_string(f), 10);
    TfrmMain w;
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.rbCustomPath->setChecked(true);
    w.cmbCustomPath->setCurrentText(Q(big.Path()));
    w.btnScanClick();
    QVERIFY(w.btnStop->isEnabled());
    w.FilesInFoldersTab->tvFoldersAndFiles->setFocus();
    QTest::keyClick(w.FilesInFoldersTab->tvFoldersAndFiles, Qt::Key_Delete);
    QTest::keyClick(w.FilesInFoldersTab->tvFoldersAndFiles, Qt::Key_Escape);
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    QCOMPARE(effects.Seen(), QStringList{"error Scan failed: \nCancelled by user"});
  }

  void tabOrderRunsDownTheWindow() {
    TfrmMain& w = Win();
    Activate();
    w.PageControl1->setCurrentIndex(0);
    w.rbCustomPath->setChecked(true);
    for (QCheckBox* c : {w.chModifiedBefore, w.chLessThan, w.chPattern}) c->setChecked(true);
    const QList<QWidget*> expected{static_cast<QWidget*>(w.cmbCustomPath), w.btnBrowse, w.chModifiedBefore, w.dtpDate, w.chLessThan,
                                   w.edtLessThan, w.cbSizeUnits, w.chPattern, w.edtPattern, w.btnScan,
                                   w.PageControl1, static_cast<QWidget*>(w.FilesInFoldersTab->Surface()),
                                   w.FilesInFoldersTab->tvFoldersAndFiles, w.FilesInFoldersTab->tvFileExtensions};
    w.rbCustomPath->setFocus();
    for (QWidget* next : expected) {
      // Tab walks the date's day, month and year before it leaves.
      QWidget* from = QApplication::focusWidget();
      for (int n = 0; n < 3 && QApplication::focusWidget() == from; ++n) {
        QTest::keyClick(from, Qt::Key_Tab);
        if (from != w.dtpDate) break;
      }
      QWidget* f = QApplication::focusWidget();
      QVERIFY2(f == next || next->isAncestorOf(f), qPrintable(next->objectName() + " <> " + (f ? f->objectName() : "none")));
    }
    for (QCheckBox* c : {w.chModifiedBefore, w.chLessThan, w.chPattern}) c->setChecked(false);
    w.rbAllDrives->setChecked(true);
  }

  // ---- the context menu -------------------------------------------------------------

  void contextMenuActsOnWhatWasPointedAt_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("view");  // object name
    QTest::addColumn<QString>("item");  // path or "text:..."
    QTest::addColumn<QString>("how");   // mouse, menu key, shift+f10
    QTest::addColumn<QStringList>("before");  // "view|item" selected first, in order
    QTest::addColumn<QStringList>("copied");  // empty: the entries are disabled
    const QString a = Q(A), b = Q(B), c = Q(C);
    QTest::newRow("list, outside the selection") << 1 << "lvFiles" << a << "mouse" << QStringList{"lvFiles|" + b} << QStringList{a};
    QTest::newRow("list, inside the selection")
        << 1 << "lvFiles" << a << "mouse" << QStringList{"lvFiles|" + b, "lvFiles|" + a} << QStringList{a, b};
    QTest::newRow("list, menu key on the current row")
        << 1 << "lvFiles" << b << "menu key" << QStringList{"lvFiles|" + a} << QStringList{b};
    QTest::newRow("legend selecting rows") << 1 << "lvExt" << "text:.dat" << "mouse" << QStringList{"lvFiles|" + a}
                                           << QStringList{Q(P), Q(Q_)};
    QTest::newRow("tile outside the selection")
        << 1 << "PaintBox1" << c << "mouse" << QStringList{"lvFiles|" + a} << QStringList{c};
    QTest::newRow("tile by Shift+F10") << 1 << "PaintBox1" << c << "shift+f10" << QStringList{"lvFiles|" + c}
                                       << QStringList{c};
    QTest::newRow("tree with legend rows picked") << 2 << "tvFolders" << Q(T / "q") << "mouse"
                                                  << QStringList{"lvFilesOfSelectedFolder|" + Q(T / "big"),
                                                                 "lvFilesOfSelectedFolder|" + Q(T / "q")}
                                                  << QStringList{Q(T / "q")};
    QTest::newRow("tree, outside") << 0 << "tvFoldersAndFiles" << b << "mouse"
                                   << QStringList{"tvFoldersAndFiles|" + a} << QStringList{b};
    QTest::newRow("tree, inside") << 0 << "tvFoldersAndFiles" << b << "mouse"
                                  << QStringList{"tvFoldersAndFiles|" + a, "tvFoldersAndFiles|" + b}
                                  << QStringList{a, b};
    QTest::newRow("nested tile, outside") << 0 << "PaintBox3" << c << "mouse"
                                          << QStringList{"tvFoldersAndFiles|" + Q(T / "p")} << QStringList{c};
    QTest::newRow("nested tile, inside") << 0 << "PaintBox3" << a << "mouse"
                                         << QStringList{"tvFoldersAndFiles|" + a, "tvFoldersAndFiles|" + b}
                                         << QStringList{a, b};
    QTest::newRow("legend the actions do not read")
        << 0 << "tvFileExtensions" << "text:.bin" << "mouse" << QStringList{"tvFoldersAndFiles|" + Q(T / "p")}
        << QStringList{};
    QTest::newRow("groups list while the tree has a group")
        << 3 << "lvDuplicateGroupsColors" << "text:twin.txt" << "mouse"
        << QStringList{"tvDuplicateFiles|text:same.dat"} << QStringList{Q(PTwin), Q(QTwin)};
    QTest::newRow("duplicate file tile") << 3 << "PaintBox4" << Q(QTwin) << "mouse"
                                         << QStringList{"tvDuplicateFiles|text:same.dat"} << QStringList{Q(QTwin)};
    QTest::newRow("folder tile of duplicates") << 3 << "PaintBox4" << Q(T / "p") << "mouse"
                                               << QStringList{"tvDuplicateFiles|text:same.dat"} << QStringList{};
  }
  void contextMenuActsOnWhatWasPointedAt() {
    QFETCH(int, tab);
    QFETCH(QString, view);
    QFETCH(QString, item);
    QFETCH(QString, how);
    QFETCH(QStringList, before);
    QFETCH(QStringList, copied);
    TfrmMain& w = Win();
    w.PageControl1->setCurrentIndex(tab);
    TResultTab* t = TabAt(w, tab);
    QSet<QString> cleared;
    for (const QString& pick : before) {
      const QStringList parts = pick.split('|');
      auto* v = t->findChild<QAbstractItemView*>(parts[0]);
      const QModelIndex i = FindItem(t, v, parts[1].toStdString());
      QVERIFY2(i.isValid(), qPrintable(pick));
      const bool first = !cleared.contains(parts[0]);
      cleared.insert(parts[0]);
      v->selectionModel()->setCurrentIndex(
          i, (first ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Select) | QItemSelectionModel::Rows);
    }

    TEffects effects;
    int menus = 0;
    TContextMenus::MenuShownHook() = [&](QMenu& menu) {
      ++menus;
      QStringList texts;
      for (QAction* a : menu.actions())
        if (!a->isSeparator()) {
          texts << a->text().section('\t', 0, 0);
          QVERIFY(!a->icon().isNull());
          // Select Copies goes by the content check alone.
          if (a->text() != "Select Copies") QCOMPARE(a->isEnabled(), !copied.isEmpty());
        }
      QStringList expected{"Open", "Open containing folder", "Copy path(s) to clipboard", "Show Properties",
                           "Move to Recycle Bin", "Delete permanently", "Rescan"};
      if (tab == 3) expected << "Select Copies";
      QCOMPARE(texts, expected);
      for (QAction* a : menu.actions())
        if (a->text().startsWith("Copy path(s)")) a->trigger();
    };
    if (view.startsWith("PaintBox")) {
      TPaintSurface* s = t->Surface();
      const QPoint at = FindTile(t, item.toStdString());
      QVERIFY(at.x() >= 0);
      if (how == "mouse") {
        RightClick(s, at);
      } else {
        QVERIFY(s->Current && s->Current());
        QTest::keyClick(s, Qt::Key_F10, Qt::ShiftModifier);
      }
    } else {
      auto* v = t->findChild<QAbstractItemView*>(view);
      const QModelIndex i = FindItem(t, v, item.toStdString());
      QVERIFY(i.isValid());
      if (how == "mouse") {
        v->scrollTo(i);
        RightClick(v->viewport(), v->visualRect(i).center());
      } else {
        v->selectionModel()->setCurrentIndex(i, QItemSelectionModel::NoUpdate);
        QTest::keyClick(v, how == "menu key" ? Qt::Key_Menu : Qt::Key_F10,
                        how == "menu key" ? Qt::NoModifier : Qt::ShiftModifier);
      }
    }
    TContextMenus::MenuShownHook() = nullptr;
    QCOMPARE(menus, 1);
    QStringList got = QApplication::clipboard()->text().split('\n');
    if (copied.isEmpty()) {
      QCOMPARE(got, QStringList{"before"});
    } else {
      got.sort();
      copied.sort();
      QCOMPARE(got, copied);
    }
  }

  // The entries other features add, through their buttons: Rescan (a file
  // stands for its folder) and Select Copies.
  void contextMenuEntriesOfOtherFeatures_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("view");
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QStringList>("seen");
    QTest::newRow("Rescan") << 1 << "lvFiles" << Q(C) << "Rescan" << QStringList{"rescanned big/sub", "selected 0"};
    QTest::newRow("Select Copies") << 3 << "tvDuplicateFiles" << Q(P) << "Select Copies"
                                   << QStringList{"selected 2"};  // one of each pair
  }
  void contextMenuEntriesOfOtherFeatures() {
    QFETCH(int, tab);
    QFETCH(QString, view);
    QFETCH(QString, item);
    QFETCH(QString, entry);
    QFETCH(QStringList, seen);
    TfrmMain& w = Win();
    QVERIFY(QTest::qWaitFor([&] { return w.DuplicatesTab->SelectCopiesButton()->isEnabled(); }, 60000));
    w.PageControl1->setCurrentIndex(tab);
    TResultTab* t = TabAt(w, tab);
    auto* v = t->findChild<QAbstractItemView*>(view);
    const QModelIndex i = FindItem(t, v, item.toStdString());
    QVERIFY(i.isValid());
    const QStringList folders{"big", "big/sub", "p", "q"};
    std::vector<const TDirNode*> before;
    for (const QString& f : folders) before.push_back(FolderOfPath(w.S.FRoot.get(), T / f.toStdString()));
    TContextMenus::MenuShownHook() = [&](QMenu& menu) {
      for (QAction* a : menu.actions())
        if (a->text().section('\t', 0, 0) == entry) a->trigger();
    };
    v->scrollTo(i);
    RightClick(v->viewport(), v->visualRect(i).center());
    TContextMenus::MenuShownHook() = nullptr;
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    QStringList got;
    for (int f = 0; f < folders.size(); ++f)
      if (FolderOfPath(w.S.FRoot.get(), T / folders[f].toStdString()) != before[size_t(f)]) got << "rescanned " + folders[f];
    got << "selected " + QString::number(w.Actions->GatherSelectedPaths().size());
    QCOMPARE(got, seen);
  }

  void contextMenuLooksFinished() {
    if (!qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) QSKIP("screenshots only with VORNDALE_SCREENSHOTS");
    TfrmMain& w = Win();
    w.PageControl1->setCurrentIndex(0);
    TResultTab* t = TabAt(w, 0);
    const QPoint at = FindTile(t, A);
    QPixmap shot;
    TContextMenus::MenuShownHook() = [&](QMenu& menu) {
      menu.popup(t->Surface()->mapToGlobal(at));
      QVERIFY(QTest::qWaitForWindowExposed(&menu));
      shot = w.grab();
      QPainter p(&shot);
      p.drawPixmap(w.mapFromGlobal(menu.mapToGlobal(QPoint(0, 0))), menu.grab());
      menu.close();
    };
    RightClick(t->Surface(), at);
    TContextMenus::MenuShownHook() = nullptr;
    QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
    QVERIFY(shot.save(QStringLiteral(VORNDALE_ARTIFACTS "/context_menu.png")));
  }

  // ---- drag and drop ----------------------------------------------------------------

  void dragOutCarriesTheNameBytes_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("row") << "lvFiles";
    QTest::newRow("tile") << "PaintBox1";
  }
  void dragOutCarriesTheNameBytes() {
    QFETCH(QString, from);
    TfrmMain& w = Win();
    w.PageControl1->setCurrentWidget(w.FilesTab);
    QWidget* target = nullptr;
    QPoint at;
    if (from == "lvFiles") {
      QTreeWidget* list = w.FilesTab->FilesList();
      const QModelIndex i = FindItem(w.FilesTab, list, Odd);
      list->scrollTo(i);
      target = list->viewport();
      at = list->visualRect(i).center();
    } else {
      target = w.FilesTab->Surface();
      at = FindTile(w.FilesTab, Odd);
    }
    QByteArray uris;
    QString text;
    TDragOut::DragStartHook() = [&](const QMimeData& data) {
      uris = data.data("text/uri-list");
      text = data.text();
    };
    QTest::mousePress(target, Qt::LeftButton, {}, at);
    QTest::mouseMove(target, at + QPoint(4, 0));
    QTest::mouseMove(target, at + QPoint(40, 8));
    QTest::mouseRelease(target, Qt::LeftButton, {}, at + QPoint(40, 8));
    TDragOut::DragStartHook() = nullptr;
    QCOMPARE(uris, HandUri(Odd) + "\r\n");
    QVERIFY(uris.contains("caf%E9%20x.bin"));
    QCOMPARE(text, DisplayText(Odd));
  }

  void droppedFolderIsScanned_data() {
    QTest::addColumn<QByteArray>("uris");
    QTest::addColumn<bool>("taken");  // the window takes the drag at all
    QTest::addColumn<QString>("scanned");
    QTest::addColumn<QStringList>("seen");
    vdtest::TempDir& t = T;
    const std::string odd = t.Dir("drop/\xE9t\xE9");  // not UTF-8
    t.File("drop/\xE9t\xE9/f.bin", 10);
    const QByteArray oddUri = HandUri(odd);
    QTest::newRow("folder") << oddUri + "\r\n" << true << Q(odd) << QStringList{};
    QTest::newRow("folder, localhost form")
        << "# from a file manager\r\n" + QByteArray(oddUri).replace("file://", "file://localhost") + "\r\n" << true << Q(odd)
        << QStringList{};
    QTest::newRow("file") << HandUri(A) + "\r\n" << true << ""
                          << QStringList{"error Only a folder can be scanned, not a file:\n" + Q(A)};
    QTest::newRow("two folders") << HandUri(T / "p") + "\r\n" + HandUri(T / "q") + "\r\n" << true << ""
                                 << QStringList{"error Drop one folder to scan it."};
    QTest::newRow("web address") << QByteArray("https://example.org/a\r\n") << false << "" << QStringList{};
  }
  void droppedFolderIsScanned() {
    QFETCH(QByteArray, uris);
    QFETCH(bool, taken);
    QFETCH(QString, scanned);
    QFETCH(QStringList, seen);
    TfrmMain w;
    w.show();
    TEffects effects;
    QMimeData mime;
    mime.setData("text/uri-list", uris);
    auto drop = [&] {
      QDragEnterEvent enter(QPoint(200, 300), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &enter);
      QDropEvent dropped(QPointF(200, 300), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &dropped);
      QCoreApplication::processEvents();
      return enter.isAccepted();
    };
    // Nothing is taken while a scan or a results build runs.
    w.SetBusy(true);
    QVERIFY(!drop());
    QVERIFY(effects.Seen().isEmpty() && !w.rbCustomPath->isChecked());
    w.SetBusy(false);

    QCOMPARE(drop(), taken);
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    QCOMPARE(effects.Seen(), seen);
    if (scanned.isEmpty()) {
      QVERIFY(!w.S.FRoot);
    } else {
      QVERIFY(w.rbCustomPath->isChecked());
      QVERIFY(w.S.FRoot);
      QCOMPARE(DisplayText(w.S.FRoot->FullPath()), scanned);
      QCOMPARE(w.S.FAllFiles.size(), size_t(1));  // the folder was found by its exact bytes
    }
  }

  // ---- the treemap's keys -----------------------------------------------------------

  void neighbourTileIsNearestAhead_data() {
    // A big tile at the left, three stacked right of it, a wide one beyond.
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("arrow");
    QTest::addColumn<int>("unreachable");
    QTest::addColumn<int>("to");
    QTest::newRow("right, straight ahead") << 0 << int(TArrow::Right) << -1 << 2;
    QTest::newRow("right, the middle unreachable") << 0 << int(TArrow::Right) << 2 << 3;
    QTest::newRow("up") << 2 << int(TArrow::Up) << -1 << 1;
    QTest::newRow("down") << 2 << int(TArrow::Down) << -1 << 3;
    QTest::newRow("left, back") << 1 << int(TArrow::Left) << -1 << 0;
    QTest::newRow("left of the wide one") << 4 << int(TArrow::Left) << -1 << 2;
    QTest::newRow("nothing further") << 0 << int(TArrow::Left) << -1 << -1;
  }
  void neighbourTileIsNearestAhead() {
    QFETCH(int, from);
    QFETCH(int, arrow);
    QFETCH(int, unreachable);
    QFETCH(int, to);
    const std::vector<QRect> tiles{{0, 0, 100, 100}, {100, 0, 50, 33}, {100, 33, 50, 33}, {100, 66, 50, 34},
                                   {150, 0, 150, 100}};
    QCOMPARE(NeighbourTile(tiles, from, TArrow(arrow), [&](int i) { return i != unreachable; }), to);
  }

  void arrowKeysWalkTheTreemapAsClicks() {
    TfrmMain& w = Win();
    Activate();
    w.PageControl1->setCurrentWidget(w.FilesTab);
    TPaintSurface* s = w.FilesTab->Surface();
    w.FilesTab->FilesList()->clearSelection();
    w.S.FTreemap.ClearSelection();
    s->setFocus();
    QTest::keyClick(s, Qt::Key_Right);  // no tile selected: the first one
    QVERIFY(s->Current());
    int moves = 0;
    for (Qt::Key key : {Qt::Key_Right, Qt::Key_Down, Qt::Key_Left, Qt::Key_Up, Qt::Key_Right, Qt::Key_Down}) {
      const void* before = s->Current();
      const QPoint from = CentreOf(s->TileRect(before));
      QTest::keyClick(s, key);
      const void* after = s->Current();
      if (after == before) continue;
      ++moves;
      const QPoint to = CentreOf(s->TileRect(after));
      const QPoint d = to - from;
      QVERIFY(key == Qt::Key_Right ? d.x() > 0 : key == Qt::Key_Left ? d.x() < 0 : key == Qt::Key_Down ? d.y() > 0 : d.y() < 0);
      // As a click would: the list's row follows the tile.
      QTreeWidget* list = w.FilesTab->FilesList();
      QCOMPARE(list->selectionModel()->selectedRows().size(), 1);
      const auto paths = w.FilesTab->ItemPaths(list, list->currentIndex(), nullptr);
      QCOMPARE(*paths, *w.FilesTab->ItemPaths(s, {}, after));
    }
    QVERIFY(moves >= 3);
    TEffects effects;
    QTest::keyClick(s, Qt::Key_Return);  // the treemap's own double click
    QCOMPARE(effects.Seen(), QStringList{"ShowItems " + Uri(w.FilesTab->ItemPaths(s, {}, s->Current())->front())});
  }

  // ---- screen readers ---------------------------------------------------------------

  void accessibleTreeNamesEveryButtonAndTreemap() {
    TfrmMain& w = Win();
    // The offscreen platform has no screen reader bridge to switch this on.
    QAccessible::setActive(true);
    QHash<QString, QAccessibleInterface*> buttons;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* i) {
      if (!i) return;
      if (i->role() == QAccessible::Button) buttons.insert(i->text(QAccessible::Name), i);
      for (int c = 0; c < i->childCount(); ++c) walk(i->child(c));
    };
    walk(QAccessible::queryAccessibleInterface(&w));
    for (const char* name : {"Scan", "Stop", "Rescan", "Open Scan...", "Save Scan...", "Open", "Copy path(s) to clipboard", "Open containing folder",
                                "Show Properties", "Move to Recycle Bin", "Delete permanently", "Visit Website",
                                "About..."}) {
      QVERIFY2(buttons.contains(name), qPrintable(name));
      QVERIFY(!buttons[name]->text(QAccessible::Description).isEmpty());
    }
    // Each treemap: a named canvas whose value is the selected tile.
    for (int i = 0; i < w.PageControl1->count(); ++i) {
      QAccessibleInterface* map = QAccessible::queryAccessibleInterface(TabAt(w, i)->Surface());
      QCOMPARE(map->role(), QAccessible::Canvas);
      QCOMPARE(map->text(QAccessible::Name), w.PageControl1->tabText(i) + " treemap");
      QVERIFY(!map->text(QAccessible::Description).isEmpty());
    }
    w.PageControl1->setCurrentWidget(w.FilesTab);
    TContextMenus::MenuShownHook() = [](QMenu&) {};  // not shown
    RightClick(w.FilesTab->Surface(), FindTile(w.FilesTab, B));  // selects the tile
    TContextMenus::MenuShownHook() = nullptr;
    QCOMPARE(QAccessible::queryAccessibleInterface(w.FilesTab->Surface())->text(QAccessible::Value),
             QStringLiteral("b.bin, 195.3 KB"));
  }
};

QTEST_MAIN(TstDesktopHabits)
#include "tst_desktop_habits.moc"
