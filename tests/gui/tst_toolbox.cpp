// The view toolbox: back-buffered surfaces, placeholder, hover hints, swatches,
// the selection summary and the shell seam.
#include <QPainter>
#include <QStandardItemModel>
#include <QMouseEvent>
#include <QTest>
#include <QTextDocument>
#include <QToolTip>
#include <QTreeView>
#include <map>

#include "views/PaintSurface.h"
#include "views/SelectionStatus.h"
#include "views/Shell.h"
#include "views/SwatchDelegate.h"

using namespace vd::gui;

class TstToolbox : public QObject {
  Q_OBJECT
 private slots:
  void placeholderWithoutDataLayoutWithData() {
    TPaintSurface s;
    s.resize(300, 200);
    bool has = false;
    int paints = 0;
    s.HasData = [&] { return has; };
    s.PaintBuffer = [&](QImage& img) {
      ++paints;
      img.fill(Qt::black);
    };
    s.grab();
    QCOMPARE(paints, 0);
    QCOMPARE(s.Buffer().pixelColor(2, 2), s.palette().color(QPalette::Button));
    has = true;
    s.grab();  // not dirty: only copies the old buffer
    QCOMPARE(paints, 0);
    s.Invalidate();
    s.grab();
    QCOMPARE(paints, 1);
    QCOMPARE(s.Buffer().pixelColor(2, 2), QColor(Qt::black));
    s.grab();
    QCOMPARE(paints, 1);
    s.resize(310, 200);  // a size mismatch redraws
    s.grab();
    QCOMPARE(paints, 2);
  }

  void hoverHintOncePerTile() {
    TPaintSurface s;
    s.resize(200, 100);
    static int tileA, tileB;
    int hints = 0;
    s.HitTest = [](QPoint p) -> const void* { return p.x() < 100 ? &tileA : (p.x() < 150 ? &tileB : nullptr); };
    s.HintFor = [&](const void* t) {
      ++hints;
      return t == &tileA ? QStringLiteral("/a\r\n1 B") : QStringLiteral("/<b>b\r\n2 B");
    };
    s.show();
    QTest::mouseMove(&s, QPoint(10, 10));
    QTest::mouseMove(&s, QPoint(20, 10));
    QCOMPARE(hints, 1);
    QCOMPARE(s.CurrentHint(), QStringLiteral("/a\r\n1 B"));
    QTest::mouseMove(&s, QPoint(120, 10));
    QCOMPARE(hints, 2);
    // Shown as the text it is: a name is never read as markup.
    QTRY_VERIFY(QToolTip::isVisible());
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    QCOMPARE(shown.toPlainText(), QStringLiteral("/<b>b\n2 B"));
    QTest::mouseMove(&s, QPoint(180, 10));
    QCOMPARE(s.CurrentHint(), QString());
    QCOMPARE(s.Hover(), nullptr);
  }

  // Out of the surface and back onto the same tile: the hint shows again.
  void hintShowsAgainOnReentry() {
    QWidget frame;
    frame.resize(300, 200);
    TPaintSurface s(&frame);
    s.setGeometry(0, 0, 200, 100);
    static int tile;
    int hints = 0;
    s.HitTest = [](QPoint) -> const void* { return &tile; };
    s.HintFor = [&](const void*) {
      ++hints;
      return QStringLiteral("/t\r\n1 B");
    };
    frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&frame));
    QTest::mouseMove(&s, QPoint(50, 50));
    QCOMPARE(hints, 1);
    QTest::mouseMove(&frame, QPoint(250, 150));  // off the surface
    QTest::mouseMove(&s, QPoint(60, 50));
    QCOMPARE(hints, 2);
    QTRY_VERIFY(QToolTip::isVisible());
  }

  void onlyALeftDoubleClickOpens() {
    TPaintSurface s;
    s.resize(100, 100);
    s.show();
    int opens = 0;
    std::map<Qt::MouseButton, int> presses;
    connect(&s, &TPaintSurface::MouseDown, [&](QMouseEvent* e) { ++presses[e->button()]; });
    connect(&s, &TPaintSurface::DblClick, [&] { ++opens; });
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton})
      QTest::mouseDClick(&s, b, {}, QPoint(50, 50));
    QCOMPARE(opens, 1);  // the left one
    QVERIFY(presses[Qt::LeftButton] >= 1 && presses[Qt::MiddleButton] >= 1);
    // A right click selects through the context menu, which keeps a selection
    // the tile is part of.
    QCOMPARE(presses[Qt::RightButton], 0);
  }

  void swatchFillsTheInsetCell() {
    QStandardItemModel model(1, 2);
    model.setData(model.index(0, 1), QColor(0x12, 0x34, 0x56), kSwatchColorRole);
    QTreeView view;
    view.setModel(&model);
    view.setItemDelegateForColumn(1, new TSwatchDelegate(&view));
    view.setColumnWidth(0, 50);
    view.setColumnWidth(1, 70);
    view.resize(200, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const QRect cell = view.visualRect(model.index(0, 1));
    const QImage img = view.viewport()->grab().toImage();
    const QRect sw = TSwatchDelegate::SwatchRect(cell);
    QCOMPARE(img.pixelColor(sw.center()), QColor(0x12, 0x34, 0x56));
    QCOMPARE(img.pixelColor(sw.left(), sw.center().y()), QColor(Qt::black));
    QVERIFY(img.pixelColor(cell.left() + 2, sw.center().y()) != QColor(0x12, 0x34, 0x56));
  }

  void selectionSummary() {
    QCOMPARE(ShowSelection(QString(), "x", 5), QStringLiteral("Ready"));
    QCOMPARE(ShowSelection("/a", "1 B", 1), QStringLiteral("/a  1 B"));
    QCOMPARE(ShowSelection("/a", "1 B", 3), QStringLiteral("/a  1 B  (3 selected)"));
  }

  void shellKeepsBytesAndFallsBackToTheFolder() {
    const std::string odd = std::string("/tmp/bad\xff name#1");
    const QUrl url = FileUrlFromPath(odd);
    QCOMPARE(url.toEncoded(), QByteArray("file:///tmp/bad%FF%20name%231"));
    QList<QUrl> opened;
    QStringList calls;
    auto saved = Shell();
    Shell().OpenUrl = [&](const QUrl& u) {
      opened << u;
      return true;
    };
    Shell().FileManager = [&](const QString& m, const QStringList& uris) {
      calls << m + " " + uris.join(",");
      return false;  // nobody answers
    };
    OpenFolderAndSelect("/srv/data/file.txt");
    QCOMPARE(calls, QStringList{"ShowItems file:///srv/data/file.txt"});
    QCOMPARE(opened, QList<QUrl>{QUrl("file:///srv/data")});
    OpenFolderAndSelect("/top");
    QCOMPARE(opened.last(), QUrl("file:///"));
    Shell() = saved;
  }
};

QTEST_MAIN(TstToolbox)
#include "tst_toolbox.moc"
