#include "Shell.h"

#include <QDesktopServices>

#if defined(Q_OS_WIN)
#include <QDir>

#include "platform/win32/Shell32Ops.h"
#elif defined(VORNDALE_WITH_DBUS)
#include <QDBusConnection>
#include <QDBusMessage>
#endif

#include "platform/Platform.h"

namespace vd::gui {

QString DisplayText(std::string_view bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

QUrl FileUrlFromPath(const std::string& path) {
  QByteArray raw(path.data(), qsizetype(path.size()));
#if defined(Q_OS_WIN)
  // "C:\a" becomes file:///C:/a, "\\server\share" file://server/share.
  raw.replace('\\', '/');
  if (raw.startsWith("//")) return QUrl::fromEncoded("file:" + raw.toPercentEncoding("/:"));
  return QUrl::fromEncoded("file:///" + raw.toPercentEncoding("/:"));
#else
  return QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"));
#endif
}

namespace {

#if defined(Q_OS_WIN)
// The UTF-8 path of a file URL, with the system's separators.
std::string PathFromFileUrl(const QUrl& url) {
  return QDir::toNativeSeparators(url.toLocalFile()).toUtf8().toStdString();
}

bool OpenUrlDefault(const QUrl& url) {
  if (!url.isLocalFile()) return QDesktopServices::openUrl(url);
  platform::win32::ShellOpen(PathFromFileUrl(url));
  return true;  // ShellExecuteW's answer is not looked at
}

// Explorer stands in for the file manager's two methods.
bool CallFileManager(const QString& method, const QStringList& uris) {
  for (const QString& uri : uris) {
    const std::string path = PathFromFileUrl(QUrl::fromEncoded(uri.toLatin1()));
    if (method == QLatin1String("ShowItems")) {
      if (!platform::win32::OpenFolderAndSelect(path)) platform::win32::ExplorerSelect(path);
    } else if (method == QLatin1String("ShowItemProperties")) {
      platform::win32::ShowProperties(nullptr, path);
    } else {
      return false;
    }
  }
  return true;
}
#else
bool OpenUrlDefault(const QUrl& url) { return QDesktopServices::openUrl(url); }

#if defined(VORNDALE_WITH_DBUS)
bool CallFileManager(const QString& method, const QStringList& uris) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  QDBusMessage msg = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                                    QStringLiteral("/org/freedesktop/FileManager1"),
                                                    QStringLiteral("org.freedesktop.FileManager1"), method);
  msg << uris << QString();
  const QDBusMessage reply = bus.call(msg, QDBus::Block, 3000);
  return reply.type() == QDBusMessage::ReplyMessage;
}
#else
// Built without D-Bus: no file manager to ask, so the callers' fallbacks run.
bool CallFileManager(const QString&, const QStringList&) { return false; }
#endif
#endif

}  // namespace

TShellSeam& Shell() {
  static TShellSeam seam{&OpenUrlDefault, &CallFileManager};
  return seam;
}

bool OpenFolderAndSelect(const std::string& path) {
  if (path.empty()) return false;
  const QUrl url = FileUrlFromPath(path);
  if (Shell().FileManager(QStringLiteral("ShowItems"), {QString::fromLatin1(url.toEncoded())})) return true;
  const size_t slash = path.rfind(platform::PathSeparator());
  const std::string folder = slash == std::string::npos ? path : (slash == 0 ? path.substr(0, 1) : path.substr(0, slash));
  return Shell().OpenUrl(FileUrlFromPath(folder));
}

bool OpenItem(const std::string& path) { return Shell().OpenUrl(FileUrlFromPath(path)); }

}  // namespace vd::gui
