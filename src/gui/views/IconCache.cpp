#include "IconCache.h"

#include <QDir>
#include <QMimeDatabase>
#include <QStyle>
#include <QApplication>

namespace vd::gui {

TIconCache& TIconCache::Instance() {
  static TIconCache cache;
  return cache;
}

TIconCache::TIconCache() {
  // Without a desktop session Qt names no theme; use an installed one.
  if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor")) {
    for (const char* t : {"Adwaita", "breeze", "gnome"})
      if (QDir(QStringLiteral("/usr/share/icons/") + QLatin1String(t)).exists()) {
        QIcon::setThemeName(QLatin1String(t));
        break;
      }
  }
  QStyle* style = QApplication::style();
  FFolder = QIcon::fromTheme(QStringLiteral("folder"), style ? style->standardIcon(QStyle::SP_DirIcon) : QIcon());
  FGeneric = QIcon::fromTheme(QStringLiteral("text-x-generic"),
                              style ? style->standardIcon(QStyle::SP_FileIcon) : QIcon());
}

QIcon TIconCache::FolderIcon() { return FFolder; }

QIcon TIconCache::IconForMime(const QString& mimeName) {
  auto it = FByMime.constFind(mimeName);
  if (it != FByMime.constEnd()) return *it;
  static QMimeDatabase db;
  const QMimeType mt = db.mimeTypeForName(mimeName);
  QIcon icon = QIcon::fromTheme(mt.iconName(), QIcon::fromTheme(mt.genericIconName(), FGeneric));
  FByMime.insert(mimeName, icon);
  return icon;
}

QIcon TIconCache::FileIcon(const QString& name) {
  // A type by name is decided by the name's ending (".jpg", ".tar.gz") or, for
  // names without one, the whole name ("Makefile"). Asking the MIME database
  // once per ending keeps long lists fast; the ending is cut at the last two
  // dots so that double endings still tell their type.
  const qsizetype last = name.lastIndexOf(QLatin1Char('.'));
  QString key;
  if (last > 0) {
    const qsizetype before = name.lastIndexOf(QLatin1Char('.'), last - 1);
    key = name.mid(before > 0 ? before : last);
  } else {
    key = name;
  }
  auto it = FByEnding.constFind(key);
  if (it != FByEnding.constEnd()) return *it;
  static QMimeDatabase db;
  const QIcon icon = IconForMime(db.mimeTypeForFile(name, QMimeDatabase::MatchExtension).name());
  FByEnding.insert(key, icon);
  return icon;
}

QIcon TIconCache::ExtIcon(const QString& extKey) {
  auto it = FByExt.constFind(extKey);
  if (it != FByExt.constEnd()) return *it;
  // The made-up name "x" + key, as for any file of that extension.
  const QIcon icon = FileIcon(QStringLiteral("x") + extKey);
  FByExt.insert(extKey, icon);
  return icon;
}

}  // namespace vd::gui
