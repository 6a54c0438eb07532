#include "UriList.h"

#include <QMimeData>
#include <QStringList>
#include <QSysInfo>

#include "views/Shell.h"

namespace vd::gui {

namespace {

// The path of one file URI, or nothing when it names no local file.
bool LocalPathOf(const QByteArray& uri, std::string& path) {
  if (uri.size() < 6 || qstrnicmp(uri.constData(), "file:", 5) != 0) return false;
  QByteArray rest = uri.mid(5);
  if (rest.startsWith("//")) {
    // file://host/path: the host must be this machine.
    const qsizetype slash = rest.indexOf('/', 2);
    if (slash < 0) return false;
    const QByteArray host = rest.mid(2, slash - 2);
    if (!host.isEmpty() && host.compare("localhost", Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName().toUtf8(), Qt::CaseInsensitive) != 0)
      return false;
    rest = rest.mid(slash);
  }
  if (!rest.startsWith('/')) return false;
  if (rest.contains('?') || rest.contains('#')) return false;  // no query or fragment in a file's URI
  QByteArray raw = QByteArray::fromPercentEncoding(rest);
#ifdef Q_OS_WIN
  // /C:/a is C:\a.
  if (raw.size() >= 3 && raw[2] == ':') raw = raw.mid(1);
  raw.replace('/', '\\');
#endif
  if (raw.contains('\0')) return false;
  path.assign(raw.constData(), size_t(raw.size()));
  return true;
}

}  // namespace

// The platform's own line break: a CR on POSIX would end up in every command
// line the paths are pasted into.
const QString& PlatformLineBreak() {
#ifdef Q_OS_WIN
  static const QString lineBreak = QStringLiteral("\r\n");
#else
  static const QString lineBreak = QStringLiteral("\n");
#endif
  return lineBreak;
}

QByteArray UriListOf(const std::vector<std::string>& paths) {
  QByteArray list;
  for (const auto& p : paths) list += FileUrlFromPath(p).toEncoded() + "\r\n";
  return list;
}

TDroppedPaths PathsFromUriList(const QByteArray& list) {
  TDroppedPaths out;
  for (QByteArray line : list.split('\n')) {
    line = line.trimmed();  // the CR of CR LF, and stray blanks
    if (line.isEmpty() || line.startsWith('#')) continue;
    std::string path;
    if (LocalPathOf(line, path))
      out.Paths.push_back(std::move(path));
    else
      out.OnlyLocal = false;
  }
  return out;
}

QMimeData* NewPathsMimeData(const std::vector<std::string>& paths) {
  auto* data = new QMimeData;
  QStringList text;
  for (const auto& p : paths) text << DisplayText(p);
  data->setText(text.join(PlatformLineBreak()));
  // File managers take the items themselves from their URIs, which carry the
  // exact bytes of every name (the text cannot, for a name that is not UTF-8).
  const QByteArray uris = UriListOf(paths);
  data->setData(QStringLiteral("text/uri-list"), uris);
  QByteArray gnome("copy");
  for (const QByteArray& uri : uris.split('\n'))
    if (!uri.trimmed().isEmpty()) gnome += '\n' + uri.trimmed();
  data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
  return data;
}

}  // namespace vd::gui
