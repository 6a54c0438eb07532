// Paths to and from the desktop's `text/uri-list`: the clipboard, dragging
// items out and dropping folders in. A path is the file system's bytes; the
// URIs carry them percent-encoded, so a name that is not UTF-8 arrives whole.
#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

class QMimeData;

namespace vd::gui {

// One file URI per path, each line ended by CR LF as the format asks.
// The line break of text on this platform ("\r\n" on Windows, "\n" elsewhere).
const QString& PlatformLineBreak();

QByteArray UriListOf(const std::vector<std::string>& paths);

struct TDroppedPaths {
  std::vector<std::string> Paths;  // local paths, in the list's order
  bool OnlyLocal = true;           // false when some URI names no local file
};
// The local paths of a uri-list, decoded byte for byte. Comment lines are
// skipped; a URI of another scheme or another host sets OnlyLocal to false.
TDroppedPaths PathsFromUriList(const QByteArray& list);

// What the clipboard and a drag carry for some paths: the paths as text, one
// a line; their URIs; and the same for file managers that paste "copied
// files". The caller owns the result.
QMimeData* NewPathsMimeData(const std::vector<std::string>& paths);

}  // namespace vd::gui
