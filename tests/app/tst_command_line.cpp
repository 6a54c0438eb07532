// The command line: what each argument list asks for, and what the built
// program does with it when there is no display at all.
#include <QDir>
#include <QProcess>
#include <QtTest>

#include "TestUtil.h"
#include "app/CommandLine.h"
#include "app/TerminalText.h"

using vd::app::TStartMode;
using vd::app::TStartScan;

Q_DECLARE_METATYPE(TStartMode)
Q_DECLARE_METATYPE(TStartScan)

namespace {

// "%T" in an argument stands for the test's temporary folder.
std::vector<std::string> Args(const QStringList& list, const std::string& temp) {
  std::vector<std::string> out{"vorndale"};
  for (const QString& a : list) {
    std::string s = a.toStdString();
    if (const size_t at = s.find("%T"); at != std::string::npos) s.replace(at, 2, temp);
    out.push_back(s);
  }
  return out;
}

}  // namespace

class TestCommandLine : public QObject {
  Q_OBJECT

  vdtest::TempDir FTemp;
  // A folder whose name is not valid UTF-8: it must arrive byte for byte.
  const std::string FRawName = std::string("caf\xE9");

 private slots:
  void initTestCase() {
    FTemp.File("sub/file.txt", 10);
    FTemp.Dir(FRawName);
    QVERIFY(QDir::setCurrent(QString::fromStdString(FTemp.Path())));
  }

  void parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<TStartMode>("mode");
    QTest::addColumn<TStartScan>("scan");
    QTest::addColumn<QString>("folder");  // "%T" for the temporary folder
    QTest::addColumn<bool>("updateCheck");
    QTest::addColumn<QString>("text");  // a part of Text
    const auto W = TStartMode::Window;
    const auto E = TStartMode::Error;
    QTest::newRow("nothing") << QStringList{} << W << TStartScan::None << "" << true << "";
    QTest::newRow("no update check") << QStringList{"--no-update-check"} << W << TStartScan::None << "" << false << "";
    QTest::newRow("all drives") << QStringList{"--all-drives"} << W << TStartScan::AllDrives << "" << true << "";
    QTest::newRow("folder") << QStringList{"%T/sub"} << W << TStartScan::Folder << "%T/sub" << true << "";
    QTest::newRow("relative, with dots and a trailing slash")
        << QStringList{"./sub/../sub/"} << W << TStartScan::Folder << "%T/sub" << true << "";
    QTest::newRow("Qt's own options pass") << QStringList{"-style", "fusion", "--no-update-check", "sub"} << W
                                           << TStartScan::Folder << "%T/sub" << false << "";
    QTest::newRow("help") << QStringList{"--help"} << TStartMode::Help << TStartScan::None << "" << true
                          << "Usage: vorndale [options] [FOLDER | FILE]";
    QTest::newRow("version") << QStringList{"-v"} << TStartMode::Version << TStartScan::None << "" << true
                             << "Vorndale 1.0";
    QTest::newRow("missing folder") << QStringList{"%T/nothing"} << E << TStartScan::None << "" << true
                                    << "Folder does not exist";
    QTest::newRow("a file opens as a scan file") << QStringList{"%T/sub/file.txt"} << W << TStartScan::File << ""
                                                 << true << "";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << E << TStartScan::None << "" << true
                                    << "Unknown option 'bogus'";
    QTest::newRow("two folders") << QStringList{"%T", "%T/sub"} << E << TStartScan::None << "" << true
                                 << "Too many arguments";
    QTest::newRow("folder and all drives") << QStringList{"--all-drives", "%T"} << E << TStartScan::None << ""
                                           << true << "not both";
  }
  void parse() {
    QFETCH(QStringList, args);
    QFETCH(TStartMode, mode);
    QFETCH(TStartScan, scan);
    QFETCH(QString, folder);
    QFETCH(bool, updateCheck);
    QFETCH(QString, text);
    const vd::app::TCommandLine cl = vd::app::ParseCommandLine(Args(args, FTemp.Path()));
    QCOMPARE(cl.Mode, mode);
    QCOMPARE(cl.Scan, scan);
    QCOMPARE(cl.Folder, Args({folder}, FTemp.Path()).back());
    QCOMPARE(cl.UpdateCheck, updateCheck);
    QVERIFY2(cl.Text.contains(text), qPrintable(cl.Text));
    if (mode == TStartMode::Error) QVERIFY(!cl.Text.contains(QLatin1Char('\n')));
  }

  // Scan files and the headless export: the source, the target and the filters.
  void parseScanFilesAndExport_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<TStartMode>("mode");
    QTest::addColumn<TStartScan>("scan");
    QTest::addColumn<QString>("path");  // Folder or ScanFile, or the start of Text for an error
    const auto W = TStartMode::Window;
    const auto X = TStartMode::Export;
    const auto E = TStartMode::Error;
    QTest::newRow("--open") << QStringList{"--open", "sub/file.txt"} << W << TStartScan::File << "%T/sub/file.txt";
    QTest::newRow("--open a folder") << QStringList{"--open", "sub"} << E << TStartScan::None << "Not a scan file";
    QTest::newRow("--open and a folder") << QStringList{"--open", "sub/file.txt", "sub"} << E << TStartScan::None
                                         << "Give --open FILE alone";
    QTest::newRow("--open - needs --export") << QStringList{"--open", "-"} << E << TStartScan::None
                                             << "Scan file does not exist: '-'";
    QTest::newRow("export the current folder") << QStringList{"--export", "out.json"} << X << TStartScan::Folder
                                               << "%T";
    QTest::newRow("export all drives") << QStringList{"--export", "-", "--all-drives"} << X
                                       << TStartScan::AllDrives << "";
    QTest::newRow("convert standard input") << QStringList{"--open", "-", "--export", "x.json.zst"} << X
                                            << TStartScan::File << "-";
    QTest::newRow("filters without --export") << QStringList{"--min-size", "1"} << E << TStartScan::None
                                              << "--exclude, --min-size and --modified-before go with --export.";
    QTest::newRow("filters on a conversion") << QStringList{"--open", "sub/file.txt", "--export", "x", "--exclude", "*"}
                                             << E << TStartScan::None << "--exclude, --min-size and";
    QTest::newRow("export into a folder") << QStringList{"--export", "sub", "sub"} << E << TStartScan::None
                                          << "Cannot write the scan file: 'sub' is a folder.";
  }
  void parseScanFilesAndExport() {
    QFETCH(QStringList, args);
    QFETCH(TStartMode, mode);
    QFETCH(TStartScan, scan);
    QFETCH(QString, path);
    const vd::app::TCommandLine cl = vd::app::ParseCommandLine(Args(args, FTemp.Path()));
    QCOMPARE(cl.Mode, mode);
    if (mode == TStartMode::Error) {
      QVERIFY2(cl.Text.startsWith(path), qPrintable(cl.Text));
      return;
    }
    QCOMPARE(cl.Scan, scan);
    QCOMPARE(scan == TStartScan::File ? cl.ScanFile : cl.Folder, Args({path}, FTemp.Path()).back());
  }

  void folderNameKeepsItsBytes() {
    const vd::app::TCommandLine cl = vd::app::ParseCommandLine({"vorndale", FRawName + "/"});
    QCOMPARE(cl.Mode, TStartMode::Window);
    QCOMPARE(cl.Folder, FTemp / FRawName);
  }

  // What a terminal is sent of a name: controls written out, text kept.
  void terminalText_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("plain text and a backslash") << QByteArray("C:\\dir\\caf\xc3\xa9 \xe2\x82\xac")
                                                << QByteArray("C:\\dir\\caf\xc3\xa9 \xe2\x82\xac");
    QTest::newRow("named controls") << QByteArray("a\nb\tc\rd") << QByteArray("a\\nb\\tc\\rd");
    QTest::newRow("escape and bell") << QByteArray("\x1b]0;x\x07") << QByteArray("\\x1b]0;x\\x07");
    QTest::newRow("NUL and DEL") << QByteArray("a\0b\x7f", 4) << QByteArray("a\\x00b\\x7f");
    QTest::newRow("C1 control in UTF-8") << QByteArray("\xc2\x9b" "2J") << QByteArray("\\xc2\\x9b" "2J");
    QTest::newRow("not UTF-8") << QByteArray("\xff\x9b\xc3") << QByteArray("\\xff\\x9b\\xc3");
    QTest::newRow("overlong and surrogate") << QByteArray("\xc0\xaf\xed\xa0\x80")
                                            << QByteArray("\\xc0\\xaf\\xed\\xa0\\x80");
  }
  void terminalText() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, shown);
    const std::string out = vd::app::TerminalText(std::string_view(bytes.constData(), size_t(bytes.size())));
    QCOMPARE(QByteArray(out.data(), qsizetype(out.size())), shown);
  }

  // The built program, with no display to connect to: had it created its
  // window's application first, it would abort instead.
  void programExitStatus_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");  // the whole of stdout
    QTest::addColumn<QString>("err");  // the start of stderr, which is one line
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Vorndale 1.0\n" << "";
    QTest::newRow("missing folder") << QStringList{"/nonexistent/folder"} << 2 << ""
                                    << "vorndale: Folder does not exist: '/nonexistent/folder'.";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << "" << "vorndale: Unknown option";
  }
  void programExitStatus() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VORNDALE_PROGRAM), args);
    QVERIFY(p.waitForFinished(30000));
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QVERIFY2(p.exitCode() == status, qPrintable(stdErr));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), out);
    if (err.isEmpty()) {
      QCOMPARE(stdErr, QString());
    } else {
      QVERIFY2(stdErr.startsWith(err), qPrintable(stdErr));
      QCOMPARE(stdErr.count(QLatin1Char('\n')), 1);
    }
  }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
