// The window as the desktop shows it, at 200 % scaling: the title is the
// caption alone, tabs keep the splitters the user set, and treemaps are laid
// out and drawn in the screen's own pixels.
#include <QComboBox>
#include <QDir>
#include <QRadioButton>
#include <QSplitter>
#include <QSplitterHandle>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

#include "TestUtil.h"
#include "common/AppIdentity.h"
#include "tabs/files/FilesTab.h"
#include "window/MainWindow.h"

using namespace vd;
using namespace vd::gui;

namespace {
// The offscreen screen is small at 200 %: the window keeps its design size.
void Show(TfrmMain& w) {
  w.setWindowState(Qt::WindowNoState);
  w.resize(1240, 720);
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
}
}  // namespace

class TstWindowLook : public QObject {
  Q_OBJECT
 public:
  static void initMain() { qputenv("QT_SCALE_FACTOR", "2"); }

 private slots:
  void initTestCase() {
    Drives().GetDrives = [] { return std::vector<std::string>{"/"}; };
    Drives().GetUsedBytes = [](const std::string&) { return int64_t(0); };
    SetApplicationIdentity();
  }

  void titleIsTheCaptionAlone() {
    TfrmMain w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Vorndale 1.0"));
    // The desktop appends a display name to every title only where one is set
    // on purpose; an unset one follows the application's name.
    QCoreApplication::setApplicationName(QStringLiteral("probe"));
    const QString display = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName(QStringLiteral("Vorndale"));
    QCOMPARE(display, QStringLiteral("probe"));
  }

  void tabsKeepTheUserSplitters() {
    TfrmMain w;
    Show(w);
    w.PageControl1->setCurrentWidget(w.FilesTab);
    QSplitter* bottom = w.FilesTab->BottomSplitter();
    QTRY_VERIFY(bottom->width() > 400);
    // Drag the handle between the file list and the legend 120 pixels left.
    QSplitterHandle* handle = bottom->handle(1);
    const QPoint grip = handle->rect().center();
    QTest::mousePress(handle, Qt::LeftButton, {}, grip);
    QTest::mouseMove(handle, grip - QPoint(120, 0));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, grip - QPoint(120, 0));
    const QList<int> user = bottom->sizes();
    QVERIFY(user.at(1) > 0);
    for (int page : {2, 1}) {  // "Only Folders", then back to "Only Files"
      w.PageControl1->setCurrentIndex(page);
      QTest::qWait(20);
    }
    QCOMPARE(bottom->sizes(), user);
  }

};

QTEST_MAIN(TstWindowLook)
#include "tst_window_look.moc"
