#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include <filesystem>

#include "platform/Platform.h"

namespace vd::app {

namespace {

// Arguments enter the parser decoded as Latin-1, one character per byte, so
// every value comes back byte for byte, whatever the locale and whether or not
// it is valid UTF-8. Option names are ASCII and unaffected.
QString FromBytes(const std::string& s) { return QString::fromLatin1(s.data(), qsizetype(s.size())); }
std::string Bytes(const QString& v) { return v.toLatin1().toStdString(); }
// Bytes made readable for a message.
QString Display(const std::string& bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }
// A text of the parser that may quote arguments (its errors).
QString Display(const QString& parserText) { return Display(Bytes(parserText)); }

// Options the Qt application reads itself (-style, -platform, ...), accepted
// here and left in place for it.
void AddQtOptions(QCommandLineParser& p) {
  for (const char* name :
       {"platform", "platformpluginpath", "platformtheme", "plugin", "style", "stylesheet", "session", "display",
        "geometry", "qwindowgeometry", "qwindowicon", "qwindowtitle", "title", "name"}) {
    QCommandLineOption o(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(o);
  }
  for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
    QCommandLineOption o(QString::fromLatin1(name));
    o.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(o);
  }
}

const QCommandLineOption kHelp({QStringLiteral("h"), QStringLiteral("help")},
                               QStringLiteral("Show this help and exit."));
const QCommandLineOption kVersion({QStringLiteral("v"), QStringLiteral("version")},
                                  QStringLiteral("Show the version and exit."));
const QCommandLineOption kAllDrives(QStringLiteral("all-drives"),
                                    QStringLiteral("Scan all local drives as soon as the window opens."));
const QCommandLineOption kNoUpdateCheck(QStringLiteral("no-update-check"),
                                        QStringLiteral("Start without checking the web site for a newer version."));

void MakeParser(QCommandLineParser& p) {
  // "-style fusion" as Qt programs take it; single-letter options stay usable.
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  p.setApplicationDescription(QStringLiteral("Vorndale shows where the space of a disk or folder went."));
  p.addOption(kHelp);
  p.addOption(kVersion);
  p.addOption(kAllDrives);
  p.addOption(kNoUpdateCheck);
  p.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Open the window on this folder and scan it."),
                          QStringLiteral("[FOLDER]"));
  AddQtOptions(p);
}

// `path` made absolute and plain: "." and ".." parts and a trailing separator
// go, so the window shows the folder as a user would write it.
std::string AbsoluteFolder(const std::string& path) {
  namespace fs = std::filesystem;
#ifdef _WIN32
  const fs::path p(std::u8string(path.begin(), path.end()));
#else
  const fs::path p(path);
#endif
  std::error_code ec;
  fs::path abs = fs::absolute(p, ec);
  if (ec) abs = p;
#ifdef _WIN32
  const std::u8string u = abs.lexically_normal().u8string();
  const std::string normal(u.begin(), u.end());
#else
  const std::string normal = abs.lexically_normal().string();
#endif
  return platform::RemoveTrailingSeparator(normal);
}

TCommandLine Fail(const QString& text, bool pointToHelp = true) {
  TCommandLine r;
  r.Mode = TStartMode::Error;
  r.Text = pointToHelp ? text + QStringLiteral(" Try 'vorndale --help'.") : text;
  return r;
}

}  // namespace

std::vector<std::string> ArgumentsOf(int argc, char** argv) {
  std::vector<std::string> out;
  for (int i = 0; i < argc; ++i) out.emplace_back(argv[i] ? argv[i] : "");
  return out;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  QCommandLineParser p;
  MakeParser(p);
  QStringList list;
  for (const std::string& a : args) list << FromBytes(a);
  if (list.isEmpty()) list << QStringLiteral("vorndale");
  if (!p.parse(list)) return Fail(Display(p.errorText()));

  TCommandLine r;
  if (p.isSet(kHelp)) {
    r.Mode = TStartMode::Help;
    // Qt names the program by how it was started, or not at all before the
    // application object exists.
    r.Text = p.helpText();
    const qsizetype options = r.Text.indexOf(QStringLiteral(" [options]"));
    if (options >= 0) r.Text.replace(0, options, QStringLiteral("Usage: vorndale"));
    return r;
  }
  if (p.isSet(kVersion)) {
    r.Mode = TStartMode::Version;
    r.Text = QStringLiteral("Vorndale 1.0");
    return r;
  }
  r.UpdateCheck = !p.isSet(kNoUpdateCheck);

  const QStringList positional = p.positionalArguments();
  if (positional.size() > 1) return Fail(QStringLiteral("Too many arguments: '%1'.").arg(Display(positional[1])));
  if (!positional.isEmpty()) {
    if (p.isSet(kAllDrives)) return Fail(QStringLiteral("Give a folder or --all-drives, not both."));
    const std::string folder = Bytes(positional[0]);
    if (folder.empty() || !platform::PathExists(folder))
      return Fail(QStringLiteral("Folder does not exist: '%1'.").arg(Display(folder)), false);
    if (!platform::DirectoryExists(folder))
      return Fail(QStringLiteral("Not a folder: '%1'.").arg(Display(folder)), false);
    r.Scan = TStartScan::Folder;
    r.Folder = AbsoluteFolder(folder);
  } else if (p.isSet(kAllDrives)) {
    r.Scan = TStartScan::AllDrives;
  }
  return r;
}

}  // namespace vd::app
