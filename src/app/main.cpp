// The program's start: the application, the update check before any window,
// then the main window.
#include <QApplication>
#include <QLocale>
#include <QTimer>

#include "common/AppIdentity.h"
#include "common/ResultsState.h"
#include "core/results/Format.h"
#include "update/StartupCheck.h"
#include "window/MainWindow.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vd::gui::SetApplicationIdentity();

  // Sizes, percentages and times are written with the user's separators.
  const QLocale loc;
  vd::DefaultFormatSettings().DecimalSeparator = loc.decimalPoint().toStdString();
  // The separator between hours and minutes of the short time format, with
  // quoted literal text ("HH 'h' mm") passed over.
  const QString timeFormat = loc.timeFormat(QLocale::ShortFormat);
  bool quoted = false;
  for (const QChar c : timeFormat) {
    if (c == QLatin1Char('\'')) {
      quoted = !quoted;
    } else if (!quoted && !c.isLetter() && !c.isSpace()) {
      vd::DefaultFormatSettings().TimeSeparator = QString(c).toStdString();
      break;
    }
  }

  if (!vd::RunStartupUpdateCheck()) return 0;

  vd::gui::TfrmMain window;
  window.show();
  return app.exec();
}
