#include "Shell.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>

#include "platform/Platform.h"

namespace vd::gui {

QString DisplayText(std::string_view bytes) { return QString::fromUtf8(bytes.data(), qsizetype(bytes.size())); }

QUrl FileUrlFromPath(const std::string& path) {
  const QByteArray raw(path.data(), qsizetype(path.size()));
  return QUrl::fromEncoded("file://" + raw.toPercentEncoding("/"));
}

namespace {
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
}  // namespace

TShellSeam& Shell() {
  static TShellSeam seam{[](const QUrl& u) { return QDesktopServices::openUrl(u); }, &CallFileManager};
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
