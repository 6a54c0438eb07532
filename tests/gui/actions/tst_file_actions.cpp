// The toolbar's file actions on real files: clipboard, shell calls, trash,
// permanent deletion, failures, and the refresh after a delete.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressDialog>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "TestUtil.h"
#include "actions/CopyRecheck.h"
#include "actions/FileActions.h"
#include "actions/PropertiesDialog.h"
#include "common/Dialogs.h"
#include "common/ResultTab.h"
#include "core/scan/DiskScanner.h"
#include "core/results/FileList.h"
#include "core/results/Format.h"
#include "platform/Platform.h"
#include "views/Shell.h"

using namespace vd;
using namespace vd::gui;
namespace fs = std::filesystem;

namespace {

class TFakeWindow : public TWindowHooks {
 public:
  void SetStatus(const QString&) override {}
  QProgressBar* ProgressBar() override { return nullptr; }
  void UpdateSelectionStatus() override {}
  void ProcessPendingEvents() override {}
};

// A tab whose selection is whatever the test says.
class TFakeTab : public TResultTab {
 public:
  using TResultTab::TResultTab;
  std::vector<std::string> Paths;
  std::vector<TKeptCopy> Copies;  // as Select Copies would give them
  std::vector<TKeptCopy> SelectedCopies() const override { return Copies; }
  void ClearView() override {}
  void RebuildTreemap() override {}
  QString SelectionStatus() const override { return QStringLiteral("Ready"); }
  std::vector<std::string> GatherSelectedPaths() const override { return Paths; }
  void AdjustBottomPanel(int) override {}
};

struct TQuestion {
  TBoxKind Kind;
  QString Text;
  QStringList Details;
};

// One window's worth: state, the active tab, the actions, and what they showed.
struct TRig {
  TResultsState S;
  TFakeWindow W;
  QWidget Parent;
  TFakeTab Tab{S, W};
  int Inv1 = 0, Inv3 = 0;
  TFileActions A{&Parent, S, {[this] { return &Tab; }, [this] { ++Inv1; }, [this] { ++Inv3; }}};

  bool Answer = true;
  std::vector<TQuestion> Questions;
  QStringList Errors;
  std::vector<std::pair<QString, QStringList>> Lists;
  std::vector<std::string> Removed;
  TRig() {
    Dialogs().ShowList = [this](QWidget*, const QString& t, const QStringList& d) { Lists.push_back({t, d}); };
    QObject::connect(&A, &TFileActions::ItemsRemoved,
                     [this](const std::vector<std::string>& p) { Removed.insert(Removed.end(), p.begin(), p.end()); });
    Dialogs().AskYesNo = [this](QWidget*, TBoxKind k, const QString& t, const QStringList& d) {
      Questions.push_back({k, t, d});
      return Answer;
    };
    Dialogs().ShowError = [this](QWidget*, const QString& t) { Errors << t; };
  }
  ~TRig() { Dialogs() = {}; }
};

// What went to the desktop shell.
struct TShellLog {
  QStringList Opened;                             // OpenUrl
  std::vector<std::pair<QString, QStringList>> FM;  // FileManager calls
  bool FileManagerAnswers = true;
  TShellSeam Saved = Shell();
  TShellLog() {
    Shell().OpenUrl = [this](const QUrl& u) {
      Opened << QString::fromLatin1(u.toEncoded());
      return true;
    };
    Shell().FileManager = [this](const QString& m, const QStringList& uris) {
      FM.push_back({m, uris});
      return FileManagerAnswers;
    };
  }
  ~TShellLog() { Shell() = Saved; }
};

QString Uri(const std::string& p) { return QString::fromLatin1(FileUrlFromPath(p).toEncoded()); }
bool Exists(const std::string& p) { return platform::PathExistsNoFollow(p); }

// Sets or clears the immutable attribute, which stops even root from removing
// what is in a folder. False where the file system or the sandbox refuse.
bool SetImmutable(const std::string& path, bool on) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (ok) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  ::close(fd);
  return ok;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string TrashDir() { return qEnvironmentVariable("XDG_DATA_HOME").toStdString() + "/Trash"; }

// A name no earlier test put into the trash.
std::string UniqueName(const vdtest::TempDir& t, const char* stem) {
  return std::string(stem) + "-" + fs::path(t.Path()).filename().string();
}

}  // namespace

class TstFileActions : public QObject {
  Q_OBJECT
 private slots:
  void init() { QApplication::clipboard()->setText(QStringLiteral("before")); }

  void copyJoinsPathsWithLineBreaks_data() {
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("one") << QStringList{"/data/a b.txt"} << "/data/a b.txt";
    QTest::newRow("three") << QStringList{"/data/x", "/data/y/z.bin", "/data/w"} << "/data/x\n/data/y/z.bin\n/data/w";
    QTest::newRow("repeat") << QStringList{"/data/x", "/data/y/z.bin", "/data/x"} << "/data/x\n/data/y/z.bin";
    QTest::newRow("none") << QStringList{} << "before";
  }
  void copyJoinsPathsWithLineBreaks() {
    QFETCH(QStringList, paths);
    QFETCH(QString, clipboard);
    TRig r;
    for (const auto& p : paths) r.Tab.Paths.push_back(p.toStdString());  // need not exist
    r.A.SpeedButton1Click();
    QCOMPARE(QApplication::clipboard()->text(), clipboard);
    QVERIFY(r.Questions.empty() && r.Errors.isEmpty());
  }

  // Open, reveal and properties: each existing item once, in order, one call
  // per item (a repeat is one item); vanished items and dangling links skipped
  // without a word.
  void shellActionsSkipVanishedPaths() {
    vdtest::TempDir t;
    const std::string file = t.File("a.txt", 10), dir = t.Dir("sub"), gone = t / "gone.txt";
    const std::string link = t / "link", dangling = t / "dangling";
    fs::create_symlink(file, link);
    fs::create_symlink(t / "nowhere", dangling);
    const std::vector<std::string> existing{file, dir, link};
    TRig r;
    r.Tab.Paths = {file, gone, dir, dangling, link, file};
    TShellLog log;
    QStringList uris;
    for (const auto& p : existing) uris << Uri(p);

    r.A.btnOpenClick();
    QCOMPARE(log.Opened, uris);
    QVERIFY(log.FM.empty());

    log.Opened.clear();
    r.A.btnOpenExplorerClick();
    QCOMPARE(int(log.FM.size()), 3);
    for (size_t i = 0; i < log.FM.size(); ++i) {
      QCOMPARE(log.FM[i].first, QStringLiteral("ShowItems"));
      QCOMPARE(log.FM[i].second, QStringList{uris[qsizetype(i)]});
    }

    log.FM.clear();
    r.A.btnShowPropertiesClick();
    QCOMPARE(int(log.FM.size()), 3);
    for (size_t i = 0; i < log.FM.size(); ++i) {
      QCOMPARE(log.FM[i].first, QStringLiteral("ShowItemProperties"));
      QCOMPARE(log.FM[i].second, QStringList{uris[qsizetype(i)]});
    }
    QVERIFY(r.Parent.findChildren<TPropertiesDialog*>().isEmpty());
    QVERIFY(log.Opened.isEmpty() && r.Questions.empty() && r.Errors.isEmpty());
  }

  // Names as the file system has them reach the desktop intact through every
  // action: the clipboard's URIs, open, reveal, properties (the file manager's
  // and our own window) and deletion.
  void namesAreBytesThroughEveryAction_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("not UTF-8") << QByteArray("bad\xff.txt");
    QTest::newRow("newline") << QByteArray("two\nlines.txt");
    QTest::newRow("percent") << QByteArray("%41.txt");
    QTest::newRow("leading dash") << QByteArray("-rf");
    QTest::newRow("255 bytes") << QByteArray("\xc3\xa4").repeated(100) + QByteArray(51, 'x') + ".txt";
  }
  void namesAreBytesThroughEveryAction() {
    QFETCH(QByteArray, name);
    vdtest::TempDir t;
    const std::string path = t.File(name.toStdString(), 5);
    const QByteArray raw = QByteArray::fromStdString(path);
    // A URI is plain ASCII without blanks and spells exactly the path's bytes.
    auto spells = [&](const QByteArray& uri) {
      for (char c : uri)
        if (c <= ' ' || c > '~') return false;
      return uri.startsWith("file://") && QByteArray::fromPercentEncoding(uri.mid(7)) == raw;
    };
    TRig r;
    r.Tab.Paths = {path};
    TShellLog log;

    r.A.SpeedButton1Click();
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    const QByteArray uriList = clip->data(QStringLiteral("text/uri-list"));
    QVERIFY(uriList.endsWith("\r\n"));
    QVERIFY2(spells(uriList.chopped(2)), uriList.constData());
    QCOMPARE(clip->data(QStringLiteral("x-special/gnome-copied-files")), "copy\n" + uriList.chopped(2));
    QCOMPARE(clip->text(), DisplayText(path));  // the text stays as it was

    r.A.btnOpenClick();
    r.A.btnOpenExplorerClick();
    r.A.btnShowPropertiesClick();
    QCOMPARE(log.Opened.size(), 1);
    QVERIFY(spells(log.Opened[0].toLatin1()));
    QCOMPARE(int(log.FM.size()), 2);
    for (const auto& [method, uris] : log.FM) QVERIFY2(uris.size() == 1 && spells(uris[0].toLatin1()), qPrintable(method));

    log.FileManagerAnswers = false;
    r.A.btnShowPropertiesClick();
    const auto dialogs = r.Parent.findChildren<TPropertiesDialog*>();
    QCOMPARE(dialogs.size(), 1);
    QCOMPARE(dialogs[0]->findChild<QLabel*>("lblName")->text(), DisplayText(name.toStdString()));
    QVERIFY(dialogs[0]->findChild<QLabel*>("lblSize")->text().endsWith("(5 bytes)"));
    QCOMPARE(dialogs[0]->findChild<QLabel*>("lblPermissions")->text(), QStringLiteral("rw-r--r-- (644)"));
    delete dialogs[0];

    r.A.btnRemoveClick();
    QVERIFY(r.Errors.isEmpty());
    QVERIFY(!Exists(path));
  }

  // Without a file manager: one window of our own per item, not modal, with a
  // folder's totals taken from the scan tree.
  void propertiesWindowWithoutFileManager() {
    vdtest::TempDir t;
    t.File("top/notes.txt", 1536);
    t.File("top/inner/b.bin", 100);
    t.File("top/inner/deeper/c.bin", 7);
    TScanContext ctx;
    TDiskScanner scanner(&ctx);
    TRig r;
    r.S.FRoot = scanner.Scan(t.Path());
    QVERIFY(r.S.FRoot);
    const TDirNode* inner = FindDirByPath(r.S.FRoot.get(), t / "top/inner");
    QVERIFY(inner);
    QCOMPARE(inner->FullPath(), t / "top/inner");
    QCOMPARE(FindDirByPath(r.S.FRoot.get(), t.Path() + "/"), r.S.FRoot.get());
    QVERIFY(!FindDirByPath(r.S.FRoot.get(), t / "top/inn"));
    QVERIFY(!FindDirByPath(r.S.FRoot.get(), t.Path() + "x/top"));

    TShellLog log;
    log.FileManagerAnswers = false;
    r.Tab.Paths = {t / "top/notes.txt", t / "missing", t / "top/inner"};
    r.A.btnShowPropertiesClick();
    QCOMPARE(int(log.FM.size()), 2);  // the file manager was asked first, each time
    const auto dialogs = r.Parent.findChildren<TPropertiesDialog*>();
    QCOMPARE(dialogs.size(), 2);
    auto field = [](QWidget* d, const char* name) {
      auto* l = d->findChild<QLabel*>(QLatin1String(name));
      return l ? l->text() : QStringLiteral("<none>");
    };
    QWidget* fileDlg = field(dialogs[0], "lblName") == "notes.txt" ? dialogs[0] : dialogs[1];
    QWidget* dirDlg = fileDlg == dialogs[0] ? dialogs[1] : dialogs[0];
    for (QWidget* d : {fileDlg, dirDlg}) {
      QVERIFY(d->isVisible());
      QVERIFY(!d->isModal());
      QCOMPARE(field(d, "lblFolder"), QString::fromStdString(t / "top"));
      QCOMPARE(field(d, "lblOwner"), QFileInfo(QString::fromStdString(t / "top")).owner());
    }
    QVERIFY(field(fileDlg, "lblType").contains("text/plain"));
    QVERIFY(field(fileDlg, "lblSize").startsWith(QString::fromStdString(FormatSize(1536))));
    QVERIFY(field(fileDlg, "lblSize").contains(QLocale().toString(1536) + " bytes"));
    QCOMPARE(field(fileDlg, "lblPermissions"), QStringLiteral("rw-r--r-- (644)"));
    QCOMPARE(field(fileDlg, "lblContains"), QStringLiteral("<none>"));
    QCOMPARE(field(dirDlg, "lblName"), QStringLiteral("inner"));
    QVERIFY(field(dirDlg, "lblType").contains("inode/directory"));
    QVERIFY(field(dirDlg, "lblSize").contains(QLocale().toString(107) + " bytes"));
    QCOMPARE(field(dirDlg, "lblContains"), QStringLiteral("2 files, 1 folders"));
    for (auto* d : dialogs) d->close();  // they delete themselves
    QTRY_VERIFY(r.Parent.findChildren<TPropertiesDialog*>().isEmpty());
  }

  // Into the freedesktop trash under XDG_DATA_HOME, each with its trash info;
  // the results stay as they were, only the two treemaps lose their selection.
  void trashMovesItemsWithTrashInfo() {
    vdtest::TempDir t;
    const std::string a = t.File(UniqueName(t, "a") + ".txt", 3);
    const std::string d = t.Dir(UniqueName(t, "d"));
    t.File(fs::path(d).filename().string() + "/inside.bin", 5);
    const std::string keep = t.File("keep.txt", 1);
    TRig r;
    r.Tab.Paths = {a, d};
    r.A.btnRemoveToRecycleBinClick();
    QCOMPARE(int(r.Questions.size()), 1);
    QCOMPARE(int(r.Questions[0].Kind), int(TBoxKind::Confirmation));
    QCOMPARE(r.Questions[0].Text, QStringLiteral("Move 2 item(s) to Recycle Bin?"));
    QCOMPARE(r.Questions[0].Details, (QStringList{QString::fromStdString(a), QString::fromStdString(d)}));
    QVERIFY(r.Errors.isEmpty());
    QVERIFY(!Exists(a) && !Exists(d) && Exists(keep));
    for (const std::string& p : {a, d}) {
      const std::string name = fs::path(p).filename().string();
      QVERIFY2(Exists(TrashDir() + "/files/" + name), name.c_str());
      QFile info(QString::fromStdString(TrashDir() + "/info/" + name + ".trashinfo"));
      QVERIFY2(info.open(QIODevice::ReadOnly), name.c_str());
      QVERIFY(info.readAll().contains("Path=" + QByteArray::fromStdString(p)));
    }
    QVERIFY(Exists(TrashDir() + "/files/" + fs::path(d).filename().string() + "/inside.bin"));
    QCOMPARE(r.Inv1, 1);
    QCOMPARE(r.Inv3, 1);
  }

  // A folder holding a link to a folder outside it goes; the link's target stays.
  void deletePermanentlyNeverFollowsLinks() {
    vdtest::TempDir t;
    const std::string outside = t.File("outside/precious.txt", 8);
    const std::string victim = t.Dir("victim/sub");
    t.File("victim/sub/x.bin", 4);
    fs::create_directory_symlink(t / "outside", t / "victim/sub/to-outside");
    fs::create_symlink(outside, t / "victim/file-link");
    const std::string loose = t.File("loose.txt", 2);
    TRig r;
    r.Tab.Paths = {t / "victim", loose};
    r.A.btnRemoveClick();
    QCOMPARE(int(r.Questions.size()), 1);
    QCOMPARE(int(r.Questions[0].Kind), int(TBoxKind::Warning));
    QCOMPARE(r.Questions[0].Text, QStringLiteral("Permanently delete 2 item(s)?\n(This cannot be undone)"));
    QCOMPARE(r.Questions[0].Details.size(), 2);
    QVERIFY(r.Errors.isEmpty());
    QVERIFY(!Exists(t / "victim") && !Exists(loose));
    QVERIFY(Exists(outside));
    QCOMPARE(fs::file_size(outside), uintmax_t(8));
    QCOMPARE(r.Inv1 + r.Inv3, 2);
  }

  // One item cannot be removed: the failure is reported, what came before it
  // is gone, nothing after it is touched, and the views are not refreshed.
  void failureIsReportedAndStops_data() {
    QTest::addColumn<bool>("toTrash");
    QTest::addColumn<QString>("message");
    QTest::newRow("trash") << true << "Failed to remove to Recycle Bin.";
    QTest::newRow("permanent") << false << "Failed to delete.";
  }
  void failureIsReportedAndStops() {
    QFETCH(bool, toTrash);
    QFETCH(QString, message);
    vdtest::TempDir t;
    const std::string first = t.File(UniqueName(t, "first"), 1);
    const std::string stuck = t.File("locked/stuck.txt", 1);
    const std::string last = t.File("last.txt", 1);
    const std::string bystander = t.File("bystander.txt", 1);
    // The folder is made immutable where possible (root ignores permission
    // bits); otherwise the removal of that one path is made to fail.
    const bool immutable = SetImmutable(t / "locked", true);
    struct TUnlock {
      std::string P;
      bool On;
      ~TUnlock() {
        if (On) SetImmutable(P, false);
      }
    } unlock{t / "locked", immutable};
    const TRemoveSeam saved = RemoveOps();
    if (!immutable) {
      qInfo("immutable attribute refused here: failing the removal through the seam");
      for (auto* op : {&RemoveOps().MoveToTrash, &RemoveOps().DeleteTree})
        *op = [stuck, real = *op](const std::string& p) { return p == stuck ? false : real(p); };
    }
    TRig r;
    r.Tab.Paths = {first, stuck, last};
    toTrash ? r.A.btnRemoveToRecycleBinClick() : r.A.btnRemoveClick();
    RemoveOps() = saved;
    QCOMPARE(r.Errors, QStringList{message});
    QVERIFY(!Exists(first));
    QVERIFY(Exists(stuck) && Exists(last) && Exists(bystander));
    QCOMPARE(r.Inv1 + r.Inv3, 0);
  }

  void answeringNoTouchesNothing_data() {
    QTest::addColumn<bool>("toTrash");
    QTest::newRow("trash") << true;
    QTest::newRow("permanent") << false;
  }
  void answeringNoTouchesNothing() {
    QFETCH(bool, toTrash);
    vdtest::TempDir t;
    const std::string a = t.File(UniqueName(t, "no"), 1), d = t.Dir("folder");
    t.File("folder/f", 1);
    TRig r;
    r.Answer = false;
    r.Tab.Paths = {a, d};
    toTrash ? r.A.btnRemoveToRecycleBinClick() : r.A.btnRemoveClick();
    QCOMPARE(int(r.Questions.size()), 1);
    QVERIFY(Exists(a) && Exists(d) && Exists(t / "folder/f"));
    QVERIFY(!Exists(TrashDir() + "/files/" + UniqueName(t, "no")));
    QVERIFY(r.Errors.isEmpty());
    QCOMPARE(r.Inv1 + r.Inv3, 0);
  }

  // Each item is gathered, asked about and removed once; an item inside a
  // selected folder goes with the folder and is not counted on its own.
  void repeatsAndNestedPaths_data() {
    QTest::addColumn<bool>("toTrash");
    QTest::addColumn<QStringList>("paths");  // relative to the temp folder
    QTest::addColumn<QStringList>("asked");
    for (bool trash : {true, false}) {
      const char* mode = trash ? "trash" : "permanent";
      QTest::addRow("%s folder then its file", mode) << trash << QStringList{"F", "F/in.txt"} << QStringList{"F"};
      QTest::addRow("%s file then its folder", mode) << trash << QStringList{"F/in.txt", "F"} << QStringList{"F"};
      QTest::addRow("%s same file twice", mode) << trash << QStringList{"F/in.txt", "F/in.txt"} << QStringList{"F/in.txt"};
      QTest::addRow("%s group and member", mode)
          << trash << QStringList{"F/in.txt", "G.txt", "F/in.txt"} << QStringList{"F/in.txt", "G.txt"};
      QTest::addRow("%s name sharing a folder's start", mode)
          << trash << QStringList{"F", "F-more.txt"} << QStringList{"F", "F-more.txt"};
    }
  }
  void repeatsAndNestedPaths() {
    QFETCH(bool, toTrash);
    QFETCH(QStringList, paths);
    QFETCH(QStringList, asked);
    vdtest::TempDir t;
    // Distinct names per row: the trash keeps what earlier rows put in it.
    const std::string F = UniqueName(t, "F"), G = UniqueName(t, "G") + ".txt";
    t.File(F + "/in.txt", 1);
    t.File(G, 1);
    t.File(F + "-more.txt", 1);
    TRig r;
    auto full = [&](QString p) {
      return t / p.replace("F", QString::fromStdString(F)).replace("G.txt", QString::fromStdString(G)).toStdString();
    };
    for (const QString& p : paths) r.Tab.Paths.push_back(full(p));
    QStringList expected;
    for (const QString& p : asked) expected << QString::fromStdString(full(p));
    toTrash ? r.A.btnRemoveToRecycleBinClick() : r.A.btnRemoveClick();
    QCOMPARE(int(r.Questions.size()), 1);
    QVERIFY(r.Questions[0].Text.contains(QStringLiteral(" %1 item(s)").arg(asked.size())));
    QCOMPARE(r.Questions[0].Details, expected);
    QVERIFY2(r.Errors.isEmpty(), qPrintable(r.Errors.join(",")));
    for (const auto& p : r.Tab.Paths) QVERIFY(!Exists(p));
    QCOMPARE(r.Inv1, 1);
    QCOMPARE(r.Inv3, 1);
  }

  // Select Copies' choice: each copy is read again beside its kept file just
  // before it goes; what changed since the check stays, and one message says
  // which and why.
  void copiesGoOnlyWhileTheyStillEqualAKeptFile_data() {
    QTest::addColumn<bool>("toTrash");
    QTest::newRow("trash") << true;
    QTest::newRow("permanent") << false;
  }
  void copiesGoOnlyWhileTheyStillEqualAKeptFile() {
    QFETCH(bool, toTrash);
    vdtest::TempDir t;
    const std::string bytes = std::string(700000, 'z') + "end";  // several blocks
    std::string other = bytes;
    other[350000] = 'y';
    auto pair = [&](const char* name) {
      const std::string kept = t / ("kept/" + std::string(name)), copy = t / ("copy/" + UniqueName(t, name));
      WriteBytes(kept, bytes);
      WriteBytes(copy, bytes);
      return TKeptCopy{copy, kept, int64_t(bytes.size())};
    };
    const TKeptCopy same = pair("same"), changed = pair("changed"), keptGone = pair("kept-gone"),
                    linked = pair("linked"), same2 = pair("same2");
    WriteBytes(changed.Copy, other);  // same size, other bytes
    fs::remove(keptGone.Kept);
    fs::remove(linked.Copy);
    fs::create_hard_link(linked.Kept, linked.Copy);  // deleting it would free nothing, and it is no copy

    TRig r;
    r.Tab.Copies = {same, changed, keptGone, linked, same2};
    for (const TKeptCopy& c : r.Tab.Copies) r.Tab.Paths.push_back(c.Copy);
    toTrash ? r.A.btnRemoveToRecycleBinClick() : r.A.btnRemoveClick();
    QVERIFY2(r.Errors.isEmpty(), qPrintable(r.Errors.join(',')));
    QVERIFY(!Exists(same.Copy) && !Exists(same2.Copy));
    for (const TKeptCopy* c : {&changed, &linked}) QVERIFY(Exists(c->Copy) && Exists(c->Kept));
    QVERIFY(Exists(keptGone.Copy));
    QCOMPARE(r.Removed, (std::vector<std::string>{same.Copy, same2.Copy}));
    QCOMPARE(int(r.Lists.size()), 1);
    QCOMPARE(r.Lists[0].first, QStringLiteral("3 of 5 copies were left in place:"));
    QCOMPARE(r.Lists[0].second, (QStringList{QString::fromStdString(changed.Copy) + " (changed since the check)",
                                             QString::fromStdString(keptGone.Copy) + " (the kept copy is gone)",
                                             QString::fromStdString(linked.Copy) + " (the same file as the kept copy)"}));
    QCOMPARE(r.Inv1, 1);  // the request itself went through
  }

  // Stop during a comparison that hangs (a dead mount): the removal ends at
  // once, nothing more goes, and the stuck read ends on its own later.
  void stopDuringTheRecheckLeavesTheRest() {
    vdtest::TempDir t;
    TRig r;
    for (const char* name : {"a", "b"}) {
      const std::string kept = t / ("kept/" + std::string(name)), copy = t / ("copy/" + std::string(name));
      WriteBytes(kept, "same");
      WriteBytes(copy, "same");
      r.Tab.Copies.push_back({copy, kept, 4});
      r.Tab.Paths.push_back(copy);
    }
    struct THold {
      std::mutex M;
      std::condition_variable Cv;
      bool Released = false;
      std::atomic<int> Calls{0};
      std::atomic<bool> Ended{false};
    };
    auto hold = std::make_shared<THold>();
    const TRecheckSeam saved = RecheckOps();
    RecheckOps().Compare = [hold](const std::string&, const std::string&, const TRecheckOptions&) {
      ++hold->Calls;
      std::unique_lock<std::mutex> lock(hold->M);
      hold->Cv.wait(lock, [&] { return hold->Released; });  // deaf to Stop, as a hung read is
      hold->Ended.store(true);
      return TRecheck::Same;
    };
    QTimer stopper;
    QObject::connect(&stopper, &QTimer::timeout, [&] {
      auto* box = r.Parent.findChild<QProgressDialog*>(QStringLiteral("dlgRecheckCopies"));
      if (box && box->isVisible()) box->cancel();
    });
    stopper.start(10);
    r.A.btnRemoveClick();
    stopper.stop();
    RecheckOps() = saved;
    QCOMPARE(hold->Calls.load(), 1);
    QVERIFY(!hold->Ended.load());
    for (const TKeptCopy& c : r.Tab.Copies) QVERIFY(Exists(c.Copy));
    QVERIFY(r.Removed.empty());
    QCOMPARE(int(r.Lists.size()), 1);
    QCOMPARE(r.Lists[0].second, (QStringList{QString::fromStdString(t / "copy/a") + " (not compared: stopped)",
                                             QString::fromStdString(t / "copy/b") + " (not compared: stopped)"}));
    {
      std::lock_guard<std::mutex> lock(hold->M);
      hold->Released = true;
    }
    hold->Cv.notify_all();
    QVERIFY(QTest::qWaitFor([&] { return hold->Ended.load(); }));
  }

  // Nothing selected, or no tab: nothing asked, called, shown or copied.
  void nothingSelectedDoesNothing() {
    for (bool withTab : {true, false}) {
      TRig r;
      TFileActions noTab(&r.Parent, r.S, {[] { return nullptr; }, {}, {}});
      TFileActions& a = withTab ? r.A : noTab;
      TShellLog log;
      a.SpeedButton1Click();
      a.btnOpenClick();
      a.btnOpenExplorerClick();
      a.btnShowPropertiesClick();
      a.btnRemoveToRecycleBinClick();
      a.btnRemoveClick();
      QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
      QVERIFY(log.Opened.isEmpty() && log.FM.empty());
      QVERIFY(r.Questions.empty() && r.Errors.isEmpty());
      QVERIFY(r.Parent.findChildren<TPropertiesDialog*>().isEmpty());
      QVERIFY(!a.ShellDeletePaths({}, false));
      QCOMPARE(r.Inv1 + r.Inv3, 0);
    }
  }

  // The refresh clears the "Only Files" and "Files in Folders" selections and
  // repaints those two; the scan tree, the lists' data, the other treemaps'
  // selections and the selected folder stay.
  void afterFileActionClearsOnlyTwoSelections() {
    vdtest::TempDir t;
    t.File("a/one.txt", 300);
    t.File("a/two.dat", 200);
    t.File("b/three.txt", 100);
    TScanContext ctx;
    TDiskScanner scanner(&ctx);
    TRig r;
    TResultsState& S = r.S;
    S.FRoot = scanner.Scan(t.Path());
    QVERIFY(S.FRoot);
    S.FAllFiles = FlattenAllFiles(S.FRoot.get(), S.FAllTotalBytes);
    S.FDisplayFiles = HeadOfFiles(S.FAllFiles, S.FDisplayTotalBytes);
    const TRect area{0, 0, 400, 300};
    S.FTreemap.BuildFromFiles(S.FDisplayFiles, area);
    S.FHierMap.BuildFromRootSquarified(S.FRoot.get(), area);
    S.FFolderMap.BuildFromRoot(S.FRoot.get(), area);
    for (TFileLeaf* f : S.FAllFiles)
      if (f->FullPath() == t / "a/one.txt") S.FDupeColorByFileUpper.Set(f, 0x123456);
    S.FDupeMap.BuildFromRootDuplicates(S.FRoot.get(), &S.FDupeColorByFileUpper, area);
    QVERIFY(!S.FTreemap.Items().empty() && !S.FHierMap.Items().empty() && !S.FDupeMap.Items().empty());
    S.FTreemap.SetSelectedByPaths({t / "a/one.txt", t / "b/three.txt"});
    S.FHierMap.SetSingleSelected(&S.FHierMap.Items().front());
    S.FDupeMap.SetSingleSelected(&S.FDupeMap.Items().back());
    TDirNode* folder = S.FRoot->Children[0];
    S.FFolderMap.SelectedNode = folder;
    S.FSelectedFolder = folder;
    QVERIFY(S.FTreemap.SelectedCount() == 2 && S.FHierMap.SelectedCount() == 1);

    // Through a successful delete, so the removed file stays in the results.
    r.Tab.Paths = {t / "a/one.txt"};
    r.A.btnRemoveClick();
    QVERIFY(r.Errors.isEmpty() && !Exists(t / "a/one.txt"));

    QCOMPARE(S.FTreemap.SelectedCount(), size_t(0));
    QCOMPARE(S.FHierMap.SelectedCount(), size_t(0));
    QCOMPARE(S.FDupeMap.SelectedCount(), size_t(1));
    QCOMPARE(S.FFolderMap.SelectedNode, folder);
    QCOMPARE(S.FSelectedFolder, folder);
    QCOMPARE(S.FRoot->TotalFiles, int64_t(3));
    QCOMPARE(S.FRoot->TotalSize, int64_t(600));
    QCOMPARE(S.FAllFiles.size(), size_t(3));
    QVERIFY(S.FTreemap.GetItemByPath(t / "a/one.txt"));
    QVERIFY(!S.FSyncing);
    QCOMPARE(r.Inv1, 1);
    QCOMPARE(r.Inv3, 1);

    r.A.AfterFileAction();  // on its own, too
    QCOMPARE(r.Inv1, 2);
    QCOMPARE(r.Inv3, 2);
  }
};

int main(int argc, char** argv) {
  // The trash is the home trash of a private home, on the same file system as
  // the test folders, so nothing of the real user's is touched.
  static vdtest::TempDir home;
  qputenv("HOME", QByteArray::fromStdString(home.Path()));
  qputenv("XDG_DATA_HOME", QByteArray::fromStdString(home.Dir("data")));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  TstFileActions tc;
  return QTest::qExec(&tc, argc, argv);
}

#include "tst_file_actions.moc"
