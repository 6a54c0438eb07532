// The program's start: the application, the update check before any window,
// then the main window.
#include <QApplication>
#include <QLocale>
#include <QTimer>

#include "common/ResultsState.h"
#include "core/Format.h"
#include "update/StartupCheck.h"
#include "window/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vorndale"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vorndale"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app")));

  // Sizes, percentages and times are written with the user's separators.
  const QLocale loc;
  vd::DefaultFormatSettings().DecimalSeparator = loc.decimalPoint().toStdString();
  const QString timeFormat = loc.timeFormat(QLocale::ShortFormat);
  for (const QChar c : timeFormat) {
    if (!c.isLetter() && !c.isSpace()) {
      vd::DefaultFormatSettings().TimeSeparator = QString(c).toStdString();
      break;
    }
  }

  if (!vd::RunStartupUpdateCheck()) return 0;

  vd::gui::TfrmMain window;
  window.show();
  return app.exec();
}
