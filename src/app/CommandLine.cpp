#include "app/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QLocale>
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
const QCommandLineOption kOpen(QStringLiteral("open"),
                               QStringLiteral("Open a scan file (JSON, plain, .gz or .zst) instead of scanning."),
                               QStringLiteral("FILE"));
const QCommandLineOption kExport(QStringLiteral("export"),
                                 QStringLiteral("Scan with no window and write the scan file FILE (- for standard "
                                                "output; .gz and .zst pack it). Scans FOLDER, all drives with "
                                                "--all-drives, the current folder without either, or converts the "
                                                "scan file of --open."),
                                 QStringLiteral("FILE"));
const QCommandLineOption kExclude(QStringLiteral("exclude"),
                                  QStringLiteral("With --export: leave out files whose name or path matches one of "
                                                 "the masks (* ? [set], separated by ;). May be repeated."),
                                  QStringLiteral("PATTERN"));
const QCommandLineOption kMinSize(QStringLiteral("min-size"),
                                  QStringLiteral("With --export: leave out files smaller than SIZE (500, 64KB, "
                                                 "1.5GB; KB = 1024 bytes)."),
                                  QStringLiteral("SIZE"));
const QCommandLineOption kModifiedBefore(QStringLiteral("modified-before"),
                                         QStringLiteral("With --export: leave out files last written before that "
                                                        "day (local time)."),
                                         QStringLiteral("YYYY-MM-DD"));

void MakeParser(QCommandLineParser& p) {
  // "-style fusion" as Qt programs take it; single-letter options stay usable.
  p.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  p.setApplicationDescription(QStringLiteral("Vorndale shows where the space of a disk or folder went."));
  p.addOption(kHelp);
  p.addOption(kVersion);
  p.addOption(kAllDrives);
  p.addOption(kNoUpdateCheck);
  p.addOption(kOpen);
  p.addOption(kExport);
  p.addOption(kExclude);
  p.addOption(kMinSize);
  p.addOption(kModifiedBefore);
  p.addPositionalArgument(QStringLiteral("FOLDER"),
                          QStringLiteral("Open the window on this folder and scan it; a file instead is opened as "
                                         "a scan file."),
                          QStringLiteral("[FOLDER | FILE]"));
  AddQtOptions(p);
}

// `path` made absolute and plain: "." and ".." parts and a trailing separator
// go, so the window shows the folder as a user would write it.
std::string AbsolutePath(const std::string& path) {
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
  const bool exporting = p.isSet(kExport);

  // The source: a folder, all drives, or a scan file; at most one.
  const QStringList positional = p.positionalArguments();
  if (positional.size() > 1) return Fail(QStringLiteral("Too many arguments: '%1'.").arg(Display(positional[1])));
  if (!positional.isEmpty() && p.isSet(kAllDrives))
    return Fail(QStringLiteral("Give a folder or --all-drives, not both."));
  if (p.isSet(kOpen) && (!positional.isEmpty() || p.isSet(kAllDrives)))
    return Fail(QStringLiteral("Give --open FILE alone, without a folder or --all-drives."));
  if (p.isSet(kOpen)) {
    const std::string file = Bytes(p.value(kOpen));
    if (exporting && file == "-") {
      r.ScanFile = file;
    } else {
      if (file.empty() || !platform::PathExists(file))
        return Fail(QStringLiteral("Scan file does not exist: '%1'.").arg(Display(file)), false);
      if (platform::DirectoryExists(file))
        return Fail(QStringLiteral("Not a scan file but a folder: '%1'.").arg(Display(file)), false);
      r.ScanFile = AbsolutePath(file);
    }
    r.Scan = TStartScan::File;
  } else if (!positional.isEmpty()) {
    const std::string path = Bytes(positional[0]);
    if (path.empty() || !platform::PathExists(path))
      return Fail(QStringLiteral("Folder does not exist: '%1'.").arg(Display(path)), false);
    // A folder is scanned; anything else (a file, a pipe from <(...)) is read
    // as a scan file.
    if (platform::DirectoryExists(path)) {
      r.Scan = TStartScan::Folder;
      r.Folder = AbsolutePath(path);
    } else {
      r.Scan = TStartScan::File;
      r.ScanFile = AbsolutePath(path);
    }
  } else if (p.isSet(kAllDrives)) {
    r.Scan = TStartScan::AllDrives;
  }

  const bool filtered = p.isSet(kExclude) || p.isSet(kMinSize) || p.isSet(kModifiedBefore);
  if (filtered && !exporting)
    return Fail(QStringLiteral("--exclude, --min-size and --modified-before go with --export."));
  if (!exporting) return r;

  // A headless export.
  r.Mode = TStartMode::Export;
  r.ExportFile = Bytes(p.value(kExport));
  if (r.ExportFile.empty()) return Fail(QStringLiteral("--export needs a file name, or - for standard output."));
  if (r.ExportFile != "-") {
    // Found out now rather than after an hour's scan.
    const std::string absolute = AbsolutePath(r.ExportFile);
    if (platform::DirectoryExists(absolute))
      return Fail(QStringLiteral("Cannot write the scan file: '%1' is a folder.").arg(Display(r.ExportFile)), false);
    const size_t cut = absolute.find_last_of(platform::PathDelimiters());
    const std::string parent = platform::RemoveTrailingSeparator(absolute.substr(0, cut + 1));
    if (!platform::DirectoryExists(parent))
      return Fail(QStringLiteral("Cannot write the scan file: no folder '%1'.").arg(Display(parent)), false);
  }
  if (r.Scan == TStartScan::None) {
    r.Scan = TStartScan::Folder;
    r.Folder = AbsolutePath(".");
  }
  if (r.Scan == TStartScan::File && filtered)
    return Fail(QStringLiteral("--exclude, --min-size and --modified-before apply to a scan, not to a scan file."));

  TScanFilters& f = r.Filters;
  if (p.isSet(kMinSize)) {
    f.ExcludeLessThan = true;
    const std::string sep = QLocale::system().decimalPoint().toUtf8().toStdString();
    if (!TryParseSizeText(Bytes(p.value(kMinSize)), f.LessThanBytes, sep))
      return Fail(QString::fromLatin1(kInvalidLessThanMessage) +
                      QStringLiteral(" --min-size takes a size such as 500, 64KB or 1.5GB."),
                  false);
  }
  if (p.isSet(kModifiedBefore)) {
    f.ExcludeModifiedBefore = true;
    if (!TryParseDay(Bytes(p.value(kModifiedBefore)), f.ModifiedBefore))
      return Fail(QString::fromLatin1(kInvalidModifiedBeforeMessage) +
                      QStringLiteral(" --modified-before takes a day as YYYY-MM-DD."),
                  false);
  }
  if (p.isSet(kExclude)) {
    f.ExcludePattern = true;
    for (const QString& v : p.values(kExclude)) {
      if (!f.Pattern.empty()) f.Pattern += ';';
      f.Pattern += Bytes(v);
    }
    // A malformed mask is a bad argument, not a scan that fails half-way.
    try {
      CheckPatternMasks(SplitPatternMasks(f.Pattern));
    } catch (const std::exception& e) {
      return Fail(Display(std::string(e.what())), false);
    }
  }
  return r;
}

}  // namespace vd::app
