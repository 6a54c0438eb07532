// The points where the update check meets the user and the desktop. Tests
// replace them to answer message boxes, to see what would be opened, and to
// keep the read time-out short.
#pragma once

#include <QString>
#include <QtGlobal>
#include <QUrl>

#include <functional>

class QWidget;

namespace vd::update {

struct TUpdateSeams {
  // Shows a modal error box with an OK button. Empty: a QMessageBox.
  std::function<void(QWidget* parent, const QString& text)> ShowErrorBox;
  // Hands a file or web address to the desktop's default handler. Empty:
  // QDesktopServices::openUrl.
  std::function<void(const QUrl& url)> OpenUrl;
  // How long the version and changes requests may go without receiving data.
  int TextReadTimeoutMs = 10000;
  // How long the installer download may go without receiving data.
  int DownloadStallMs = 30000;
  // Whether "Update Now" downloads and starts the installer (Windows), or
  // opens the site's download page in the browser (everywhere else, where
  // the program cannot install itself).
#ifdef Q_OS_WIN
  bool DownloadsInstaller = true;
#else
  bool DownloadsInstaller = false;
#endif
};

TUpdateSeams& Seams();

void ShowErrorBox(QWidget* parent, const QString& text);
void OpenUrl(const QUrl& url);

}  // namespace vd::update
