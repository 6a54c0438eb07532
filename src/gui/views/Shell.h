// The desktop operations the views and file actions use: open an item with its
// default handler, show it selected in the file manager, show its properties.
// Every call goes through a seam that tests can replace.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <string>

class QWidget;

namespace vd::gui {

// Paths are the file system's bytes; these keep them exact (no lossy decoding).
QString DisplayText(std::string_view bytes);
QUrl FileUrlFromPath(const std::string& path);

struct TShellSeam {
  // The desktop's default handler for a URL.
  std::function<bool(const QUrl&)> OpenUrl;
  // A method of org.freedesktop.FileManager1 ("ShowItems", "ShowItemProperties")
  // with file URIs; false when no file manager answers.
  std::function<bool(const QString& method, const QStringList& uris)> FileManager;
};
TShellSeam& Shell();

// Opens the folder that holds `path` with the item selected; without a file
// manager, opens the containing folder. Callers ignore the result.
bool OpenFolderAndSelect(const std::string& path);
// Opens a file or folder with its default handler.
bool OpenItem(const std::string& path);

}  // namespace vd::gui
