// "Update Now": the installer download from a real local HTTP server, its
// progress bar, "Abort", a server gone silent, and every way it can fail; and
// where there is no installer to download, the site's download page.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "TestUtil.h"
#include "UpdateTestServer.h"
#include "update/NewVersionCheck.h"
#include "update/NewVersionDialog.h"
#include "update/Site.h"
#include "update/StartupCheck.h"
#include "update/UpdateSeams.h"

namespace {

const QByteArray kInstallerPath = "/download/vorndale.exe";
const QString kHeading = QStringLiteral("Failed to download update. Please download manually on website.\r\n\r\n");

QByteArray Payload(int size) {
  QByteArray b(size, '\0');
  for (int i = 0; i < size; ++i) b[i] = char('A' + i % 23);
  return b;
}

}  // namespace

class TestUpdateDownload : public QObject {
  Q_OBJECT

  std::unique_ptr<vdtest::TTestHttpServer> FServer;
  std::unique_ptr<vdtest::TempDir> FTemp;
  QStringList FErrorBoxes;
  QList<QUrl> FOpened;
  QList<int> FBarValues;
  QByteArray FOriginalTmpDir;

  QString Target() const { return QString::fromStdString(*FTemp / "mirabelt_update.exe"); }

  // Shows the offer for `versionFile` and presses "Update Now"; `duringDownload`
  // then runs on every poll while the download is going on.
  bool RunUpdate(const QByteArray& versionFile, std::function<void(vd::TfrmNewVersion*)> duringDownload = {}) {
    FServer->Text("/download/version/vorndale-version.html", versionFile);
    FServer->Text("/download/version/vorndale-changes.html", "- One");
    vdtest::WhenDialogShows([this, duringDownload](vd::TfrmNewVersion* d) {
      QObject::connect(d->ProgressBar1, &QProgressBar::valueChanged, d, [this](int v) { FBarValues.append(v); });
      if (duringDownload) {
        auto* poll = new QTimer(d);
        QObject::connect(poll, &QTimer::timeout, d, [d, duringDownload] { duringDownload(d); });
        poll->start(5);
      }
      d->btUpdateNow->click();
    });
    return vd::RunStartupUpdateCheck();
  }

 private slots:
  void initTestCase() {
    QCoreApplication::setApplicationName(QStringLiteral("Vorndale"));
    FOriginalTmpDir = qgetenv("TMPDIR");
  }

  void init() {
    FServer = std::make_unique<vdtest::TTestHttpServer>();
    QVERIFY(FServer->IsListening());
    FTemp = std::make_unique<vdtest::TempDir>();
    qputenv("TMPDIR", QByteArray::fromStdString(FTemp->Path()));
    vd::SetSiteBaseUrl(FServer->BaseUrl());
    FErrorBoxes.clear();
    FOpened.clear();
    FBarValues.clear();
    vd::update::Seams() = {};
    // The installer download is the Windows way; it runs here all the same.
    vd::update::Seams().DownloadsInstaller = true;
    vd::update::Seams().ShowErrorBox = [this](QWidget*, const QString& text) { FErrorBoxes.append(text); };
    vd::update::Seams().OpenUrl = [this](const QUrl& url) { FOpened.append(url); };
  }
  void cleanup() {
    vd::SetSiteBaseUrl(QString());
    FServer.reset();
    if (FOriginalTmpDir.isNull())
      qunsetenv("TMPDIR");
    else
      qputenv("TMPDIR", FOriginalTmpDir);
    FTemp.reset();
  }

  // A known length moves the bar from 0 to 100; a chunked body leaves it at 0.
  void installerIsStarted_data() {
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<QByteArray>("versionFile");
    QTest::newRow("known length, optional") << false << QByteArray("11/10");
    QTest::newRow("known length, mandatory") << false << QByteArray("11/11");
    QTest::newRow("chunked") << true << QByteArray("11/10");
  }
  void installerIsStarted() {
    QFETCH(bool, chunked);
    QFETCH(QByteArray, versionFile);
    vdtest::TRoute r;
    r.Body = Payload(64 * 1024);
    r.Mode = chunked ? vdtest::TRoute::TMode::Chunked : vdtest::TRoute::TMode::Drip;
    r.DripBytes = 4096;
    r.DripMs = 5;
    FServer->Route(kInstallerPath, r);
    // A stale file of the same name is replaced, not appended to.
    QFile stale(Target());
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray(200 * 1024, 'z'));
    stale.close();

    QVERIFY(!RunUpdate(versionFile));  // "Update Now" always ends the program
    QCOMPARE(FErrorBoxes, QStringList());
    QCOMPARE(FOpened, (QList<QUrl>{QUrl::fromLocalFile(Target())}));
    QFile installer(Target());
    QVERIFY(installer.open(QIODevice::ReadOnly));
    QVERIFY(installer.readAll() == r.Body);
    QCOMPARE(FServer->Paths.last(), kInstallerPath);
    QCOMPARE(FServer->UserAgents.last(), QByteArray("Mozilla/4.0 (compatible; MyApp)"));
    QVERIFY(!FBarValues.isEmpty());
    QCOMPARE(FBarValues.first(), 0);
    if (chunked) {
      QCOMPARE(FBarValues, QList<int>{0});
    } else {
      QCOMPARE(FBarValues.last(), 100);
      QVERIFY(std::is_sorted(FBarValues.begin(), FBarValues.end()));
      QVERIFY2(FBarValues.size() > 2, qPrintable(QString::number(FBarValues.size())));  // it moved through the middle, not in one jump
    }
  }

  void abortDuringSlowDownload() {
    vdtest::TRoute r;
    r.Body = Payload(4000 * 100);
    r.Mode = vdtest::TRoute::TMode::Drip;
    r.DripBytes = 100;
    r.DripMs = 10;
    FServer->Route(kInstallerPath, r);
    struct {
      QString CancelCaption;
      bool UpdateEnabled = true, BarVisible = false, StillOpenAfterClose = false;
      bool Pressed = false;
    } seen;
    const bool startWindow = RunUpdate("11/10", [&](vd::TfrmNewVersion* d) {
      if (seen.Pressed || d->ProgressBar1->value() <= 0) return;  // wait for data to flow
      seen.Pressed = true;
      seen.CancelCaption = d->btCancel->text();
      seen.UpdateEnabled = d->btUpdateNow->isEnabled();
      seen.BarVisible = d->ProgressBar1->isVisible();
      // The close box does not walk away from a running download.
      d->close();
      seen.StillOpenAfterClose = d->isVisible();
      d->btCancel->click();
    });
    QVERIFY(!startWindow);
    QVERIFY(seen.Pressed);
    QCOMPARE(seen.CancelCaption, QStringLiteral("Abort"));
    QVERIFY(!seen.UpdateEnabled);
    QVERIFY(seen.BarVisible);
    QVERIFY(seen.StillOpenAfterClose);
    QCOMPARE(FErrorBoxes, QStringList{kHeading + QStringLiteral("Download is cancelled. Please download manually.")});
    QCOMPARE(FOpened, (QList<QUrl>{QUrl(FServer->BaseUrl() + QStringLiteral("/"))}));
    QVERIFY(FBarValues.last() < 100);
    // The part already received stays behind.
    QVERIFY(QFile::exists(Target()));
    QVERIFY(QFile(Target()).size() < r.Body.size());
  }

  // Whatever sits under the installer's name is replaced, never written through.
  void plantedLinkIsReplaced() {
    vdtest::TRoute r;
    r.Body = Payload(5000);
    FServer->Route(kInstallerPath, r);
    const QString victim = QString::fromStdString(*FTemp / "victim");
    QFile v(victim);
    QVERIFY(v.open(QIODevice::WriteOnly));
    v.write("keep");
    v.close();
    QVERIFY(QFile::link(victim, Target()));
    QVERIFY(!RunUpdate("11/10"));
    QCOMPARE(FErrorBoxes, QStringList());
    QVERIFY(!QFileInfo(Target()).isSymLink());
    QCOMPARE(QFileInfo(Target()).size(), qint64(r.Body.size()));
    QVERIFY(v.open(QIODevice::ReadOnly));
    QCOMPARE(v.readAll(), QByteArray("keep"));
  }

  // Where the program cannot install itself: the download page, no installer.
  void downloadPageInstead_data() {
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<bool>("startWindow");
    QTest::newRow("optional: the program ends") << QByteArray("11/10") << false;
    QTest::newRow("mandatory: the window still starts") << QByteArray("11/11") << true;
  }
  void downloadPageInstead() {
    QFETCH(QByteArray, versionFile);
    QFETCH(bool, startWindow);
    vd::update::Seams().DownloadsInstaller = false;
    FServer->Route(kInstallerPath, vdtest::TRoute{});
    QCOMPARE(RunUpdate(versionFile), startWindow);
    QCOMPARE(FOpened, (QList<QUrl>{QUrl(FServer->BaseUrl() + QStringLiteral("/download"))}));
    QCOMPARE(FErrorBoxes, QStringList());
    QVERIFY(!FServer->Paths.contains(kInstallerPath));
    QVERIFY(!QFile::exists(Target()));
  }

  // A server that sends its headers and then nothing: "Abort" works at once,
  // and without it the download gives up after its stall time.
  void silentServer_data() {
    QTest::addColumn<bool>("pressAbort");
    QTest::newRow("Abort") << true;
    QTest::newRow("stall") << false;
  }
  void silentServer() {
    QFETCH(bool, pressAbort);
    vdtest::TRoute r;
    r.Body = "x";  // announced, never sent
    r.Mode = vdtest::TRoute::TMode::Stall;
    FServer->Route(kInstallerPath, r);
    vd::update::Seams().DownloadStallMs = pressAbort ? 60000 : 300;
    QElapsedTimer clock;
    const bool startWindow = RunUpdate("11/10", [&](vd::TfrmNewVersion* d) {
      if (!pressAbort || clock.isValid() || !FServer->Paths.contains(kInstallerPath)) return;
      clock.start();
      d->btCancel->click();
    });
    QVERIFY(!startWindow);
    const QString reason = pressAbort ? QStringLiteral("Download is cancelled. Please download manually.")
                                      : QStringLiteral("Read timed out.");
    QCOMPARE(FErrorBoxes, QStringList{kHeading + reason});
    QCOMPARE(FOpened, (QList<QUrl>{QUrl(FServer->BaseUrl() + QStringLiteral("/"))}));
    if (pressAbort) QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
  }

  void failures_data() {
    QTest::addColumn<QString>("failure");
    QTest::newRow("file vanishes") << "missing";
    QTest::newRow("404") << "404";
    QTest::newRow("redirect not followed") << "redirect";
    QTest::newRow("server unreachable") << "unreachable";
    QTest::newRow("cannot create the file") << "unwritable";
  }
  void failures() {
    QFETCH(QString, failure);
    vdtest::TRoute r;
    r.Body = Payload(8192);
    r.Mode = vdtest::TRoute::TMode::Drip;
    r.DripBytes = 2048;
    r.DripMs = 5;
    if (failure == "missing") {
      const QString target = Target();
      r.BeforeLastPiece = [target] { QFile::remove(target); };
      FServer->Route(kInstallerPath, r);
    } else if (failure == "404") {
      FServer->Status(kInstallerPath, 404, "Not Found");
    } else if (failure == "redirect") {
      FServer->Route("/elsewhere.exe", r);
      FServer->RedirectChain(kInstallerPath, 1, "/elsewhere.exe");
    } else if (failure == "unreachable") {
      // The check itself succeeds; then the site goes away.
      vdtest::WhenDialogShows([this](vd::TfrmNewVersion*) { FServer.reset(); });
    } else if (failure == "unwritable") {
      FServer->Route(kInstallerPath, r);
      QVERIFY(QDir().mkdir(Target()));  // a folder in the way, which cannot be replaced
    }
    const QString site = FServer->BaseUrl() + QStringLiteral("/");
    QVERIFY(!RunUpdate("11/10"));
    QCOMPARE(FErrorBoxes.size(), 1);
    const QString box = FErrorBoxes.first();
    QVERIFY2(box.startsWith(kHeading), qPrintable(box));
    const QString reason = box.mid(kHeading.size());
    QVERIFY2(!reason.trimmed().isEmpty(), qPrintable(box));
    if (failure == "unwritable") {
      QVERIFY2(reason.startsWith(QStringLiteral("Cannot create file")), qPrintable(reason));
      QVERIFY(!FServer->Paths.contains(kInstallerPath));
    }
    if (failure == "missing") QCOMPARE(reason, QStringLiteral("Cannot find downloaded file."));
    if (failure == "404") QVERIFY2(reason.contains(QStringLiteral("Not Found")), qPrintable(reason));
    if (failure == "redirect") {
      QVERIFY2(reason.contains(QStringLiteral("302")), qPrintable(reason));
      QVERIFY(FServer && !FServer->Paths.contains("/elsewhere.exe"));
    }
    // The web site opens instead of any installer.
    QCOMPARE(FOpened, (QList<QUrl>{QUrl(site)}));
    if (failure == "404" || failure == "redirect") QCOMPARE(QFile(Target()).size(), 0);
  }
};

QTEST_MAIN(TestUpdateDownload)
#include "tst_update_download.moc"
