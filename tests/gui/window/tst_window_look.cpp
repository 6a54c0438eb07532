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

  void treemapsInScreenPixels() {
    vdtest::TempDir t;
    for (int i = 0; i < 40; ++i) t.File("d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".bin", 1000 + 37 * i);
    TfrmMain w;
    Show(w);
    w.rbCustomPath->setChecked(true);
    w.cmbCustomPath->setCurrentText(QString::fromStdString(t.Path()));
    w.btnScanClick();
    QVERIFY(QTest::qWaitFor([&] { return w.btnScan->isEnabled(); }, 60000));
    w.PageControl1->setCurrentWidget(w.FilesTab);
    TPaintSurface* s = w.FilesTab->Surface();
    QTRY_VERIFY(s->width() > 100);
    QCOMPARE(s->devicePixelRatioF(), 2.0);

    // The layout spans the surface's device pixels, and the buffer is shown
    // pixel for pixel, not scaled up.
    const QImage shot = s->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(s->Buffer().size(), s->size() * 2);
    QCOMPARE(shot.size(), s->Buffer().size());
    QVERIFY(shot == s->Buffer().convertToFormat(QImage::Format_RGB32));
    int right = 0;
    for (const TTreemapItem& it : w.S.FTreemap.Items()) right = std::max(right, int(it.Rect.Right));
    QCOMPARE(right, s->width() * 2);

    // A click lands on the tile under the mouse.
    const TTreemapItem& tile = w.S.FTreemap.Items()[w.S.FTreemap.Items().size() / 2];
    const QPoint logical((tile.Rect.Left + tile.Rect.Right) / 4, (tile.Rect.Top + tile.Rect.Bottom) / 4);
    QTest::mouseClick(s, Qt::LeftButton, {}, logical);
    QCOMPARE(w.S.FTreemap.Primary(), &tile);

    if (qEnvironmentVariableIsSet("VORNDALE_SCREENSHOTS")) {
      QDir().mkpath(QStringLiteral(VORNDALE_ARTIFACTS));
      w.grab().save(QStringLiteral(VORNDALE_ARTIFACTS "/window_at_200.png"));
    }
  }
};

QTEST_MAIN(TstWindowLook)
#include "tst_window_look.moc"
