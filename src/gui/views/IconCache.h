// Small icons for folders, files and extensions, looked up from names alone
// (the MIME type by name and the icon theme), so listing a million rows never
// touches the disk. One cache serves every view.
#pragma once

#include <QHash>
#include <QIcon>
#include <QString>

namespace vd::gui {

class TIconCache {
 public:
  static TIconCache& Instance();
  QIcon FolderIcon();
  // Icon for a file name (by its MIME type from the name).
  QIcon FileIcon(const QString& name);
  // Icon for an extension key such as ".jpg" or "(none)".
  QIcon ExtIcon(const QString& extKey);

 private:
  TIconCache();
  QIcon IconForMime(const QString& mimeName);
  QHash<QString, QIcon> FByMime;
  QHash<QString, QIcon> FByExt;
  QHash<QString, QIcon> FByEnding;
  QIcon FFolder, FGeneric;
};

}  // namespace vd::gui
