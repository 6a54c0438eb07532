// The program's start: the command line before anything of the GUI exists
// (and a headless export, which needs nothing of it), then the application, the update check before any window, and the main
// window.
#include <QApplication>
#include <QLocale>
#include <QTimer>

#include <cstdio>

#include "app/CommandLine.h"
#include "common/AppIdentity.h"
#include "app/HeadlessExport.h"
#include "app/TerminalText.h"
#include "common/ResultsState.h"
#include "core/results/Format.h"
#include "update/StartupCheck.h"
#include "window/MainWindow.h"
#include "window/ScanFiles.h"

#ifndef VORNDALE_APP_ID
#define VORNDALE_APP_ID "example.vorndale.Vorndale"
#endif
#ifndef VORNDALE_UPDATE_CHECK
#define VORNDALE_UPDATE_CHECK 1
#endif

namespace {

// Sizes, percentages and times are written with the user's separators.
void TakeLocaleSeparators() {
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
}

int PrintAndExit(const vd::app::TCommandLine& cl) {
  if (cl.Mode == vd::app::TStartMode::Error) {
    // The message may quote an argument: a name with a newline or an escape
    // sequence in it stays on its one line, shown rather than obeyed.
    const QByteArray text = cl.Text.toLocal8Bit();
    std::fprintf(stderr, "vorndale: %s\n",
                 vd::app::TerminalText(std::string_view(text.constData(), size_t(text.size()))).c_str());
    return vd::app::kUsageExitCode;
  }
  std::fputs(cl.Text.toLocal8Bit().constData(), stdout);
  if (!cl.Text.endsWith(QLatin1Char('\n'))) std::fputc('\n', stdout);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const vd::app::TCommandLine cl = vd::app::ParseCommandLine(vd::app::ArgumentsOf(argc, argv));
  if (cl.Mode == vd::app::TStartMode::Export) return vd::app::RunHeadlessExport(cl);
  if (cl.Mode != vd::app::TStartMode::Window) return PrintAndExit(cl);

  QApplication app(argc, argv);
  vd::gui::SetApplicationIdentity();
  // Matches the window to its launcher and icon (Wayland's app id).
  QGuiApplication::setDesktopFileName(QStringLiteral(VORNDALE_APP_ID));
  TakeLocaleSeparators();

  if (VORNDALE_UPDATE_CHECK && cl.UpdateCheck && !vd::RunStartupUpdateCheck()) return 0;

  vd::gui::TfrmMain window;
  window.RestoreWindowLayout();
  window.show();
  if (cl.Scan == vd::app::TStartScan::File)
    window.ScanFiles->OpenScanFile(cl.ScanFile);
  else if (cl.Scan != vd::app::TStartScan::None)
    window.StartScanFromCommandLine(cl.Scan == vd::app::TStartScan::AllDrives, cl.Folder);
  const int status = app.exec();
  window.SaveWindowLayout();
  return status;
}
