// The start-up version check against a real local HTTP server, and how the
// offer dialog ends.
#include <QPushButton>
#include <QLabel>
#include <QProgressBar>
#include <QTcpServer>
#include <QtTest>

#include "UpdateTestServer.h"
#include "update/NewVersionCheck.h"
#include "update/NewVersionDialog.h"
#include "update/Site.h"
#include "update/StartupCheck.h"
#include "update/UpdateSeams.h"

namespace {

const QByteArray kVersionPath = "/download/version/vorndale-version.html";
const QByteArray kChangesPath = "/download/version/vorndale-changes.html";

const QString kNew11 = QStringLiteral("The new version 1.1 is available\r\n\r\nWhat's new:\r\n");
QString Mandatory(const QString& version) {
  return QStringLiteral("This version of the software is out of date. You must download the current version ") +
         version + QStringLiteral(" to continue using the software.\r\n\r\nWhat's new:\r\n");
}

}  // namespace

class TestUpdateCheck : public QObject {
  Q_OBJECT

  std::unique_ptr<vdtest::TTestHttpServer> FServer;

  // A failed check must leave the shared state alone; these mark it.
  void MarkState() {
    vd::MandatoryUpdate = false;
    vd::NewVersionMessage = QStringLiteral("untouched");
  }

 private slots:
  void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Vorndale")); }

  void init() {
    FServer = std::make_unique<vdtest::TTestHttpServer>();
    QVERIFY(FServer->IsListening());
    vd::SetSiteBaseUrl(FServer->BaseUrl());
    vd::update::Seams() = {};
    vd::update::Seams().ShowErrorBox = [](QWidget*, const QString& text) { QFAIL(qPrintable("error box: " + text)); };
    vd::update::Seams().OpenUrl = [](const QUrl& url) { QFAIL(qPrintable("opened " + url.toString())); };
    MarkState();
  }
  void cleanup() {
    vd::SetSiteBaseUrl(QString());
    FServer.reset();
  }

  void firstLineDecides_data() {
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<bool>("dialog");
    QTest::addColumn<bool>("mandatory");
    QTest::addColumn<QString>("message");
    QTest::newRow("10/10") << QByteArray("10/10\r\n") << false << false << "untouched";
    QTest::newRow("11/10") << QByteArray("11/10\r\n") << true << false << kNew11;
    QTest::newRow("11/11") << QByteArray("11/11\r\n") << true << true << Mandatory("1.1");
    QTest::newRow("10/11") << QByteArray("10/11\r\n") << true << true << Mandatory("1.0");
    QTest::newRow("12/11") << QByteArray("12/11") << true << true << Mandatory("1.2");
    QTest::newRow("11") << QByteArray("11\r\n") << false << false << "untouched";
    QTest::newRow("11/x") << QByteArray("11/x\r\n") << false << false << "untouched";
    QTest::newRow("empty") << QByteArray() << false << false << "untouched";
    QTest::newRow("BOM") << QByteArray("\xEF\xBB\xBF" "11/10\r\n9/9\r\n") << true << false << kNew11;
  }
  void firstLineDecides() {
    QFETCH(QByteArray, versionFile);
    QFETCH(bool, dialog);
    QFETCH(bool, mandatory);
    QFETCH(QString, message);
    FServer->Text(kVersionPath, versionFile);
    FServer->Text(kChangesPath, QByteArray());
    QCOMPARE(vd::CheckNewVersion(), dialog);
    QCOMPARE(vd::MandatoryUpdate, mandatory);
    QCOMPARE(vd::NewVersionMessage, message);
    // Both requests carry the client's user agent.
    QCOMPARE(FServer->Paths, (QList<QByteArray>{kVersionPath, kChangesPath}));
    QCOMPARE(FServer->UserAgents, (QList<QByteArray>(2, "Mozilla/4.0 (compatible; MyApp)")));
  }

  void changesLoseEmptyLinesOnly() {
    FServer->Text(kVersionPath, "11/10");
    FServer->Text(kChangesPath, "\xEF\xBB\xBF- One\r\n\r\n\r\n   \r\n- Tw\xC3\xB6\n\n");
    QVERIFY(vd::CheckNewVersion());
    QCOMPARE(vd::NewVersionMessage, kNew11 + QStringLiteral("- One\r\n   \r\n- Tw\u00F6\r\n"));
  }

  void failuresAreSilent_data() {
    QTest::addColumn<QByteArray>("failing");  // the path that answers with an error; empty: no server
    QTest::addColumn<int>("status");
    QTest::newRow("unreachable") << QByteArray() << 0;
    QTest::newRow("version 404") << kVersionPath << 404;
    QTest::newRow("changes 404") << kChangesPath << 404;
    QTest::newRow("version 500") << kVersionPath << 500;
    QTest::newRow("changes 204 is fine") << kChangesPath << 204;
  }
  void failuresAreSilent() {
    QFETCH(QByteArray, failing);
    QFETCH(int, status);
    FServer->Text(kVersionPath, "11/11");
    FServer->Text(kChangesPath, "- One");
    if (failing.isEmpty()) {
      QTcpServer probe;
      QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
      const quint16 port = probe.serverPort();
      probe.close();
      vd::SetSiteBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    } else {
      FServer->Status(failing, status, status == 204 ? "No Content" : "Error");
    }
    const bool expected = status == 204;
    QCOMPARE(vd::CheckNewVersion(), expected);
    QCOMPARE(vd::MandatoryUpdate, expected);
    QCOMPARE(vd::NewVersionMessage, expected ? Mandatory("1.1") : QStringLiteral("untouched"));
    if (!expected) QVERIFY(vd::RunStartupUpdateCheck());  // no dialog: the window starts
  }

  void redirects_data() {
    QTest::addColumn<QByteArray>("redirected");
    QTest::addColumn<int>("hops");
    QTest::addColumn<bool>("dialog");
    QTest::newRow("version, 10 hops") << kVersionPath << 10 << true;
    QTest::newRow("version, 11 hops") << kVersionPath << 11 << false;
    QTest::newRow("changes, 10 hops") << kChangesPath << 10 << true;
    QTest::newRow("changes, 11 hops") << kChangesPath << 11 << false;
  }
  void redirects() {
    QFETCH(QByteArray, redirected);
    QFETCH(int, hops);
    QFETCH(bool, dialog);
    FServer->Text(kVersionPath, "11/10");
    FServer->Text(kChangesPath, "- One");
    FServer->Text("/moved", redirected == kVersionPath ? "11/10" : "- One");
    FServer->RedirectChain(redirected, hops, "/moved");
    QCOMPARE(vd::CheckNewVersion(), dialog);
    QCOMPARE(FServer->Paths.contains("/moved"), dialog);
  }

  // The time-out counts from the last data received, not from the start.
  void readTimeOut_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("stall");
    QTest::newRow("version stops") << kVersionPath << true;
    QTest::newRow("changes stops") << kChangesPath << true;
    QTest::newRow("slow but steady") << kChangesPath << false;
  }
  void readTimeOut() {
    QFETCH(QByteArray, path);
    QFETCH(bool, stall);
    vd::update::Seams().TextReadTimeoutMs = stall ? 300 : 1500;
    FServer->Text(kVersionPath, "11/10");
    FServer->Text(kChangesPath, "- One");
    vdtest::TRoute r;
    r.Body = path == kVersionPath ? "11/10\r\n" + QByteArray(200, 'x') : "- One\r\n" + QByteArray(40, ' ');
    if (stall) {
      r.Mode = vdtest::TRoute::TMode::Stall;
    } else {
      // Forty pieces 50 ms apart: far longer in total than the time-out.
      r.Mode = vdtest::TRoute::TMode::Drip;
      r.DripBytes = 1;
      r.DripMs = 50;
    }
    FServer->Route(path, r);
    QCOMPARE(vd::CheckNewVersion(), !stall);
  }

  void offerOutcomes_data() {
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<QString>("cancelCaption");
    QTest::addColumn<bool>("useCloseBox");
    QTest::addColumn<bool>("startWindow");
    QTest::newRow("Skip") << QByteArray("11/10") << "Skip" << false << true;
    QTest::newRow("optional, close box") << QByteArray("11/10") << "Skip" << true << true;
    QTest::newRow("Exit") << QByteArray("11/11") << "Exit" << false << false;
    QTest::newRow("mandatory, close box") << QByteArray("11/11") << "Exit" << true << false;
    QTest::newRow("mandatory by minimum, Exit") << QByteArray("10/11") << "Exit" << false << false;
  }
  void offerOutcomes() {
    QFETCH(QByteArray, versionFile);
    QFETCH(QString, cancelCaption);
    QFETCH(bool, useCloseBox);
    QFETCH(bool, startWindow);
    FServer->Text(kVersionPath, versionFile);
    FServer->Text(kChangesPath, "- One\r\n\r\n- Two");
    struct {
      QString Title, UpdateCaption, CancelCaption, Text;
      int Tag = -1;
      bool BarVisible = true;
    } seen;
    vdtest::WhenDialogShows([&](vd::TfrmNewVersion* d) {
      seen.Title = d->windowTitle();
      seen.UpdateCaption = d->btUpdateNow->text();
      seen.CancelCaption = d->btCancel->text();
      seen.Text = d->Label1->text();
      seen.Tag = d->Tag;
      seen.BarVisible = d->ProgressBar1->isVisible();
      if (useCloseBox)
        d->close();
      else
        d->btCancel->click();
    });
    QCOMPARE(vd::RunStartupUpdateCheck(), startWindow);
    QCOMPARE(seen.Title, QStringLiteral(" Vorndale"));
    QCOMPARE(seen.UpdateCaption, QStringLiteral("Update Now"));
    QCOMPARE(seen.CancelCaption, cancelCaption);
    QVERIFY(seen.Text.endsWith(QStringLiteral("What's new:\r\n- One\r\n- Two\r\n")));
    QCOMPARE(seen.Tag, 1);
    QVERIFY(!seen.BarVisible);
    // Nothing but the two text files was asked for.
    QCOMPARE(FServer->Paths.size(), 2);
    if (startWindow) {
      // The closed dialog was the only window; that must not have ended the
      // application before its main window gets to run.
      QTimer::singleShot(0, [] { QCoreApplication::exit(7); });
      QCOMPARE(QCoreApplication::exec(), 7);
    }
  }

  void dialogLayout() {
    vd::TfrmNewVersion d;
    QCOMPARE(d.size(), QSize(414, 180));
    QCOMPARE(d.Label1->geometry(), QRect(90, 11, 327, 115));
    QVERIFY(d.Label1->wordWrap());
    QCOMPARE(d.VirtualImage1->geometry(), QRect(9, 15, 70, 75));
    QVERIFY(!d.VirtualImage1->pixmap().isNull());
    QCOMPARE(d.btUpdateNow->geometry(), QRect(209, 144, 100, 25));
    QCOMPARE(d.btCancel->geometry(), QRect(322, 144, 75, 25));
    QCOMPARE(d.ProgressBar1->geometry(), QRect(8, 133, 409, 17));
    QCOMPARE(d.ProgressBar1->maximum(), 100);
    for (const char* name : {"Label1", "VirtualImage1", "btUpdateNow", "btCancel", "ProgressBar1"})
      QVERIFY2(d.findChild<QWidget*>(QLatin1String(name)), name);
  }

  void siteAddress() {
    vd::SetSiteBaseUrl(QString());
    QCOMPARE(vd::SiteBaseUrl(), QStringLiteral(VORNDALE_SITE));
    QVERIFY(vd::SiteBaseUrl().startsWith(QStringLiteral("https://")));
    vd::SetSiteBaseUrl(QStringLiteral("http://127.0.0.1:8080/"));
    QCOMPARE(vd::SiteHomePageUrl(), QUrl(QStringLiteral("http://127.0.0.1:8080/")));
    QCOMPARE(vd::SiteUrl(QStringLiteral("/download/vorndale.exe")),
             QUrl(QStringLiteral("http://127.0.0.1:8080/download/vorndale.exe")));
  }
};

QTEST_MAIN(TestUpdateCheck)
#include "tst_update_check.moc"
