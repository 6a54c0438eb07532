// The headless export, run as the built program with no display: what it
// writes reads back with the scan's totals, filters and bad arguments take the
// scan's rules and messages, and a stopped run leaves no file behind.
#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/stat.h>
#include <unistd.h>

#include "TestUtil.h"
#include "core/dump/ScanDump.h"
#include "platform/ScratchMount.h"

namespace {

// The program with no display to connect to: had it created anything of the
// GUI, it would abort.
void StartProgram(QProcess& p, const QStringList& args, const QString& program = QStringLiteral(VORNDALE_PROGRAM)) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  p.setProcessEnvironment(env);
  p.start(program, args);
}

// "%T" stands for the scanned tree, "%O" for the output folder.
QStringList Expand(QStringList args, const std::string& tree, const std::string& out) {
  for (QString& a : args) {
    a.replace(QStringLiteral("%T"), QString::fromStdString(tree));
    a.replace(QStringLiteral("%O"), QString::fromStdString(out));
  }
  return args;
}

QStringList Entries(const std::string& folder) {
  return QDir(QString::fromStdString(folder)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A name given twice, which the error names: a screen clear, a line break and
// a bell in it. (moc reads this file too: JSON in raw strings stays out of the
// class.)
const char kNameTwice[] = R"([1,2,{},[{"name":"/srv"},{"name":"a\u001b[2J\nb\u0007","asize":1},)"
                          R"({"name":"a\u001b[2J\nb\u0007","asize":2}]])";

}  // namespace

class TestHeadlessExport : public QObject {
  Q_OBJECT

  vdtest::TempDir FTree;
  std::string FSample;  // a scan file written by hand

 private slots:
  void initTestCase() {
    const int64_t old = 1500000000;  // 2017
    FTree.File("a/photo.jpg", 4000, old);
    FTree.File("a/b/notes.log", 300);
    FTree.File("a/b/big.iso", 100000);
    FTree.File("small.txt", 10);
    FTree.File("old.bin", 50000, old);
    FTree.Dir("empty");
    FSample = FTree / "sample.json";
    std::ofstream(FSample) << R"([1,0,{"progname":"other tool","timestamp":1600000000},)"
                              R"([{"name":"/srv"},{"name":"a","asize":7},[{"name":"d"},{"name":"b","asize":5}]]])";
    std::ofstream(FTree / "truncated.json") << R"([1,2,{},[{"name":"/srv"},{"name":"a","asize":7})";
    std::ofstream(FTree / "twice.json") << kNameTwice;
  }

  void exportReadsBack_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("target");  // read back; "-" for stdout
    QTest::addColumn<qlonglong>("files");
    QTest::addColumn<qlonglong>("bytes");
    QTest::addColumn<qlonglong>("dirs");
    QTest::newRow("folder") << QStringList{"--export", "%O/scan.json", "%T/a"} << "scan.json" << 3LL << 104300LL
                            << 2LL;
    QTest::newRow("stdout") << QStringList{"--export", "-", "%T/a"} << "-" << 3LL << 104300LL << 2LL;
    QTest::newRow("filters") << QStringList{"--export", "%O/f.json", "%T/a", "--min-size", "1KB", "--exclude",
                                            "*.iso", "--modified-before", "2020-01-01"}
                             << "f.json" << 0LL << 0LL << 2LL;
    QTest::newRow("size and masks") << QStringList{"--export", "%O/f.json.zst", "%T/a", "--min-size", "0.25 kb",
                                                   "--exclude", "*.ISO", "--exclude", "*.jpg;*.tmp"}
                                    << "f.json.zst" << 1LL << 300LL << 2LL;
    QTest::newRow("convert another tool's file")
        << QStringList{"--open", "%T/sample.json", "--export", "%O/c.json.gz"} << "c.json.gz" << 2LL << 12LL << 2LL;
  }
  void exportReadsBack() {
    QFETCH(QStringList, args);
    QFETCH(QString, target);
    QFETCH(qlonglong, files);
    QFETCH(qlonglong, bytes);
    QFETCH(qlonglong, dirs);
    vdtest::TempDir out;
    QProcess p;
    StartProgram(p, Expand(args, FTree.Path(), out.Path()));
    QVERIFY(p.waitForFinished(60000));
    const QByteArray stdOut = p.readAllStandardOutput();
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 0, qPrintable(stdErr));
    QVERIFY2(stdErr.contains(QStringLiteral("Done. Total files: %1   Total size: ").arg(files)), qPrintable(stdErr));
    vd::TScanFileRead back;
    if (target == QLatin1String("-")) {
      back = vd::ReadScanData(std::string_view(stdOut.constData(), size_t(stdOut.size())));
    } else {
      QVERIFY(stdOut.isEmpty());
      QCOMPARE(Entries(out.Path()), QStringList{target});  // no temporary file left
      back = vd::ReadScanFile(out / target.toStdString());
    }
    QCOMPARE(back.Info.ProgName, std::string("vorndale"));
    QCOMPARE(back.Root->TotalFiles, int64_t(files));
    QCOMPARE(back.Root->TotalSize, int64_t(bytes));
    QCOMPARE(back.Root->TotalDirs, int64_t(dirs));
    if (args.contains(QStringLiteral("--open"))) QCOMPARE(back.Info.Timestamp, int64_t(1600000000));
    // A scan names this machine; a conversion names what its file named (here nothing).
    QCOMPARE(back.Info.HostName.empty(), args.contains(QStringLiteral("--open")));
  }

  void failures_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");  // a part of stderr's last line
    QTest::newRow("size") << QStringList{"--export", "%O/x.json", "%T", "--min-size", "12XB"} << 2
                          << "vorndale: Invalid \"Less than\" value.";
    QTest::newRow("day") << QStringList{"--export", "%O/x.json", "%T", "--modified-before", "2023-02-29"} << 2
                         << "vorndale: Invalid \"Modified before\" date.";
    QTest::newRow("mask") << QStringList{"--export", "%O/x.json", "%T", "--exclude", "*.jpg;[abc"} << 2
                          << "vorndale: '[ABC' is an invalid mask at (5)";
    QTest::newRow("missing folder") << QStringList{"--export", "%O/x.json", "%T/none"} << 2
                                    << "vorndale: Folder does not exist";
    QTest::newRow("truncated scan file") << QStringList{"--open", "%T/truncated.json", "--export", "%O/x.json"} << 1
                                         << "truncated.json: at byte 47 (the file ends there): expected ',' or ']'";
    QTest::newRow("cannot write") << QStringList{"--export", "/proc/vorndale-test.json", "%T"} << 1
                                  << "vorndale: cannot create /proc/vorndale-test.json";
  }
  void failures() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    vdtest::TempDir out;
    QProcess p;
    StartProgram(p, Expand(args, FTree.Path(), out.Path()));
    QVERIFY(p.waitForFinished(60000));
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == status, qPrintable(stdErr));
    QVERIFY2(stdErr.trimmed().section(QLatin1Char('\n'), -1).contains(err), qPrintable(stdErr));
    QCOMPARE(Entries(out.Path()), QStringList());
  }

  // As an ordinary user, a folder it may not list: the root itself fails and
  // leaves the good file of last night alone; one below is marked and counted.
  void unreadableFolders() {
    if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("setpriv")).isEmpty())
      QSKIP("needs root and setpriv to run the export as an ordinary user");
    vdtest::TempDir tree, out;
    tree.File("open/a.txt", 10);
    tree.File("locked/secret.txt", 20);
    ::chmod((tree / "locked").c_str(), 0700);
    ::chmod(out.Path().c_str(), 0777);
    const std::string good = out / "host.json";
    std::ofstream(good) << "last night's scan";
    auto run = [&](const QStringList& args, QString& stdErr) {
      QProcess p;
      StartProgram(p, QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", QStringLiteral(VORNDALE_PROGRAM)} + args,
                   QStringLiteral("setpriv"));
      p.waitForFinished(60000);
      stdErr = QString::fromUtf8(p.readAllStandardError());
      return p.exitCode();
    };
    QString err;
    QCOMPARE(run({"--export", QString::fromStdString(good), QString::fromStdString(tree / "locked")}, err), 1);
    QVERIFY2(err.trimmed().section(QLatin1Char('\n'), -1).contains(QStringLiteral("cannot read")), qPrintable(err));
    QVERIFY2(err.contains(QStringLiteral("permission denied")), qPrintable(err));
    std::string kept;
    std::getline(std::ifstream(good), kept);
    QCOMPARE(kept, std::string("last night's scan"));
    QCOMPARE(Entries(out.Path()), QStringList{"host.json"});

    QCOMPARE(run({"--export", QString::fromStdString(good), QString::fromStdString(tree.Path())}, err), 0);
    QVERIFY2(err.trimmed().section(QLatin1Char('\n'), -1) == QStringLiteral("1 folder could not be read"), qPrintable(err));
    const vd::TScanFileRead back = vd::ReadScanFile(good);
    QCOMPARE(back.Root->TotalFiles, int64_t(1));
    std::ifstream in(good);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    QVERIFY(text.find("\"read_error\":true") != std::string::npos);
  }

  // An export over an earlier file on a full disk: exit 1 with the reason,
  // and the earlier file as it was; once there is room, the new file keeps
  // the earlier one's permission bits.
  void fullDiskKeepsThePreviousFile() {
    vdtest::TempDir out;
    const std::string small = out.Dir("small");
    auto mount = vdtest::TScratchMount::Tmpfs(small);
    if (!mount.Mounted()) QSKIP(mount.Why().c_str());
    const std::string target = small + "/scan.json";
    std::ofstream(target) << "the previous scan";
    QCOMPARE(::chmod(target.c_str(), 0640), 0);
    {
      std::ofstream fill(small + "/filler", std::ios::binary);
      const std::string block(65536, 'x');
      while (fill.write(block.data(), std::streamsize(block.size()))) {
      }
    }
    vdtest::TempDir many;
    for (int i = 0; i < 3000; ++i)
      many.File("d" + std::to_string(i % 30) + "/a-long-enough-file-name-" + std::to_string(i));
    QProcess p;
    StartProgram(p, {QStringLiteral("--export"), QString::fromStdString(target), QString::fromStdString(many.Path())});
    QVERIFY(p.waitForFinished(60000));
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 1, qPrintable(stdErr));
    QVERIFY2(stdErr.contains(QStringLiteral("No space left on device")), qPrintable(stdErr));
    std::ifstream in(target);
    QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}), std::string("the previous scan"));
    QCOMPARE(Entries(small), (QStringList{"filler", "scan.json"}));

    std::remove((small + "/filler").c_str());
    StartProgram(p, {QStringLiteral("--export"), QString::fromStdString(target), QString::fromStdString(many.Path())});
    QVERIFY(p.waitForFinished(60000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    struct stat st;
    QCOMPARE(::stat(target.c_str(), &st), 0);
    QCOMPARE(st.st_mode & 07777, 0640u);
    QCOMPARE(vd::ReadScanFile(target).Root->TotalFiles, int64_t(3000));
  }

  // Names in messages stay on their line and act on no terminal: control
  // characters are written out, whether the name comes from a scan file or
  // from the command line.
  void controlCharactersAreShownNotSent_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("err");  // a part of stderr's last line
    QTest::newRow("name in a scan file") << QStringList{"--open", "%T/twice.json", "--export", "%O/x.json"} << 1
                                         << "found \"a\\x1b[2J\\nb\\x07\" twice";
    QTest::newRow("name of a folder") << QStringList{"--export", "%O/x.json", "%T/no\x1b]0;title\x07\tne"} << 2
                                      << "Folder does not exist: '%T/no\\x1b]0;title\\x07\\tne'";
  }
  void controlCharactersAreShownNotSent() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, err);
    vdtest::TempDir out;
    QProcess p;
    StartProgram(p, Expand(args, FTree.Path(), out.Path()));
    QVERIFY(p.waitForFinished(60000));
    const QByteArray stdErr = p.readAllStandardError();
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == status, stdErr.constData());
    for (const char c : {'\x1b', '\x07', '\t'}) QVERIFY2(!stdErr.contains(c), stdErr.constData());
    const QString last = QString::fromUtf8(stdErr).trimmed().section(QLatin1Char('\n'), -1);
    QVERIFY2(last.contains(Expand({err}, FTree.Path(), out.Path())[0]), qPrintable(last));
  }

  // Ctrl+C during a long scan: the run stops, says so, and leaves nothing,
  // neither the file nor its temporary.
  void interruptLeavesNoFile() {
    vdtest::TempDir slow, out;
    for (int i = 0; i < 4000; ++i) slow.File("d" + std::to_string(i % 40) + "/f" + std::to_string(i));
    // Thousands of masks make every file slow to test: seconds for the walk.
    QStringList masks;
    for (int i = 0; i < 3000; ++i) masks << QStringLiteral("*nomatch%1*").arg(i);
    QProcess p;
    StartProgram(p, {QStringLiteral("--export"), QString::fromStdString(out / "x.json"),
                     QString::fromStdString(slow.Path()), QStringLiteral("--exclude"), masks.join(QLatin1Char(';'))});
    p.setReadChannel(QProcess::StandardError);
    QVERIFY(p.waitForStarted());
    // The first line comes once the stop signals are handled and the walk begins.
    QVERIFY(QTest::qWaitFor([&] { return p.canReadLine() || (!p.waitForReadyRead(50) && p.state() != QProcess::Running); },
                            30000));
    QVERIFY(p.readLine().startsWith("Scanning:"));
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(30000));
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == 128 + SIGINT, qPrintable(stdErr));
    QVERIFY2(stdErr.trimmed().endsWith(QLatin1String("Cancelled")), qPrintable(stdErr));
    QCOMPARE(Entries(out.Path()), QStringList());
  }
};

QTEST_GUILESS_MAIN(TestHeadlessExport)
#include "tst_headless_export.moc"
