#include "update/NewVersionDialog.h"

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QShowEvent>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSvgRenderer>

#include "platform/Platform.h"
#include "update/NewVersionCheck.h"
#include "update/Site.h"
#include "update/UpdateHttp.h"
#include "update/UpdateSeams.h"

namespace vd {

namespace {

const char kInstallerName[] = "mirabelt_update.exe";
const char kCancelledText[] = "Download is cancelled. Please download manually.";
const char kMissingText[] = "Cannot find downloaded file.";
const char kFailureHeading[] = "Failed to download update. Please download manually on website.";

// A box with a downward arrow into a tray: "a new version to fetch".
const char kUpdateIconSvg[] = R"svg(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 70 75">
  <defs><linearGradient id="g" x1="0" y1="0" x2="0" y2="1">
    <stop offset="0" stop-color="#4fa3f7"/><stop offset="1" stop-color="#1565c0"/></linearGradient></defs>
  <circle cx="35" cy="32" r="29" fill="url(#g)"/>
  <path d="M29 12h12v20h10L35 50 19 32h10z" fill="#ffffff"/>
  <path d="M8 56h8v8h38v-8h8v15H8z" fill="#37474f"/>
</svg>)svg";

QPixmap UpdateIcon(const QSize& size, qreal dpr) {
  QPixmap pm(size * dpr);
  pm.setDevicePixelRatio(dpr);
  pm.fill(Qt::transparent);
  QSvgRenderer renderer{QByteArray(kUpdateIconSvg)};
  QPainter p(&pm);
  renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
  return pm;
}

QString InstallerPath() {
  return QString::fromStdString(
      platform::JoinPath(platform::GetTempFolder(), kInstallerName));
}

// Creates or replaces the installer file. The old entry is removed first and
// the new one created exclusively, so a link planted under that name in a
// shared temporary folder cannot redirect what gets written and then started.
bool CreateInstallerFile(QFile& file, QString& error) {
  QFile::remove(file.fileName());
  if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) return true;
  error = QStringLiteral("Cannot create file \"%1\". %2").arg(QDir::toNativeSeparators(file.fileName()), file.errorString());
  return false;
}

}  // namespace

TfrmNewVersion::TfrmNewVersion(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("frmNewVersion"));
  QFont f(QStringLiteral("Segoe UI"));
  f.setPointSize(9);
  setFont(f);
  setFixedSize(414, 180);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setGeometry(8, 133, 409, 17);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->hide();

  Label1 = new QLabel(this);
  Label1->setObjectName(QStringLiteral("Label1"));
  Label1->setGeometry(90, 11, 327, 115);
  Label1->setWordWrap(true);
  Label1->setTextFormat(Qt::PlainText);  // the changes file is shown as written
  Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  VirtualImage1 = new QLabel(this);
  VirtualImage1->setObjectName(QStringLiteral("VirtualImage1"));
  VirtualImage1->setGeometry(9, 15, 70, 75);
  VirtualImage1->setAlignment(Qt::AlignCenter);
  VirtualImage1->setPixmap(UpdateIcon(QSize(70, 75), devicePixelRatioF()));

  btUpdateNow = new QPushButton(QStringLiteral("Update Now"), this);
  btUpdateNow->setObjectName(QStringLiteral("btUpdateNow"));
  btUpdateNow->setGeometry(209, 144, 100, 25);

  btCancel = new QPushButton(this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setGeometry(322, 144, 75, 25);

  connect(btUpdateNow, &QPushButton::clicked, this, &TfrmNewVersion::btUpdateNowClick);
  connect(btCancel, &QPushButton::clicked, this, &TfrmNewVersion::btCancelClick);
}

void TfrmNewVersion::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TfrmNewVersion::FormShow() {
  Tag = 1;
  setWindowTitle(QLatin1Char(' ') + QGuiApplication::applicationDisplayName());
  btUpdateNow->setText(QStringLiteral("Update Now"));
  btCancel->setText(MandatoryUpdate ? QStringLiteral("Exit") : QStringLiteral("Skip"));
  Label1->setText(NewVersionMessage);
}

// Every way of closing (buttons, close box, Escape) passes through here.
void TfrmNewVersion::done(int result) {
  // The download runs inside a handler of this dialog; it closes the dialog
  // itself when it ends, so a close request meanwhile is not acted on.
  if (FDownloading) return;
  FormClose();
  QDialog::done(result);
}

void TfrmNewVersion::FormClose() {
  if (MandatoryUpdate) Tag = 0;
}

void TfrmNewVersion::btCancelClick() {
  if (btCancel->text() == QLatin1String("Abort")) {
    DownloadCancelled = true;
    return;
  }
  close();
}

QString TfrmNewVersion::DownloadWork(QNetworkReply* sender, qint64 count) {
  if (DownloadCancelled) return QString::fromLatin1(kCancelledText);
  bool haveLength = false;
  const qint64 length = sender->header(QNetworkRequest::ContentLengthHeader).toLongLong(&haveLength);
  const QByteArray encoding = sender->rawHeader("Transfer-Encoding").toLower();
  if (!encoding.contains("chunked") && haveLength && length > 0) {
    // A server that sends more than it announced must not push the bar off its range.
    ProgressBar1->setValue(int(std::clamp<qint64>(count * 100 / length, 0, 100)));
    ProgressBar1->repaint();
    QApplication::processEvents();
  }
  return QString();
}

void TfrmNewVersion::btUpdateNowClick() {
  if (!update::Seams().DownloadsInstaller) {
    OpenDownloadPage();
    return;
  }
  MandatoryUpdate = true;
  QString error;
  {
    QNetworkAccessManager client;
    DownloadCancelled = false;
    FDownloading = true;
    btCancel->setText(QStringLiteral("Abort"));
    btUpdateNow->setEnabled(false);
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    ProgressBar1->repaint();
    QApplication::processEvents();

    QFile file(InstallerPath());
    if (CreateInstallerFile(file, error)) {
      const bool ok = update::HttpDownloadToFile(
          client, SiteUrl(QStringLiteral("/download/vorndale.exe")), file,
          [this](QNetworkReply* sender, qint64 count) { return DownloadWork(sender, count); },
          update::Seams().DownloadStallMs, error);
      file.close();
      if (ok) {
        if (QFileInfo::exists(file.fileName()))
          update::OpenUrl(QUrl::fromLocalFile(file.fileName()));
        else
          error = QString::fromLatin1(kMissingText);
      }
    }
    FDownloading = false;
  }
  if (!error.isEmpty()) {
    update::ShowErrorBox(this, QString::fromLatin1(kFailureHeading) + QStringLiteral("\r\n\r\n") + error);
    update::OpenUrl(SiteHomePageUrl());
  }
  close();
}

void TfrmNewVersion::OpenDownloadPage() {
  const bool demanded = MandatoryUpdate;
  update::OpenUrl(SiteUrl(QStringLiteral("/download")));
  // An offered update ends the program, as after a download. A demanded one
  // goes on to the window: the new version is installed from outside the
  // program here, so ending would lock the user out until then.
  MandatoryUpdate = !demanded;
  close();
}

}  // namespace vd
