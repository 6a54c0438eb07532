#include "update/UpdateHttp.h"

#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace vd::update {

namespace {

QNetworkRequest BaseRequest(const QUrl& url) {
  QNetworkRequest req(url);
  req.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUserAgent));
  return req;
}

int StatusOf(QNetworkReply* reply) {
  return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool IsSuccess(int status) { return status >= 200 && status <= 299; }

// The text of a failed reply. Qt reports 4xx/5xx itself; a 3xx that was not
// followed, or anything else outside 2xx, only shows in the status.
QString FailureText(QNetworkReply* reply) {
  if (reply->error() != QNetworkReply::NoError) return reply->errorString();
  const int status = StatusOf(reply);
  const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
  return QStringLiteral("HTTP/1.1 %1 %2").arg(QString::number(status), reason).trimmed();
}

void WaitForFinished(QNetworkReply* reply) {
  if (reply->isFinished()) return;
  QEventLoop loop;
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  loop.exec();
}

}  // namespace

bool HttpGetToMemory(QNetworkAccessManager& client, const QUrl& url, int readTimeoutMs, QByteArray& body,
                     QString& error) {
  QNetworkRequest req = BaseRequest(url);
  // Never from HTTPS down to plain HTTP: the answer decides what gets installed.
  req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
  req.setMaximumRedirectsAllowed(kTextMaxRedirects);
  // Qt restarts this timer whenever data moves, which makes it a read time-out.
  req.setTransferTimeout(readTimeoutMs);
  QNetworkReply* reply = client.get(req);
  WaitForFinished(reply);
  const bool ok = reply->error() == QNetworkReply::NoError && IsSuccess(StatusOf(reply));
  if (ok)
    body = reply->readAll();
  else
    error = FailureText(reply);
  reply->deleteLater();
  return ok;
}

bool HttpDownloadToFile(QNetworkAccessManager& client, const QUrl& url, QFile& file, const TDownloadProgress& progress,
                        int stallMs, QString& error) {
  QNetworkRequest req = BaseRequest(url);
  req.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  req.setTransferTimeout(0);
  QPointer<QNetworkReply> reply = client.get(req);
  QString ownError;  // set before an abort, so it wins over Qt's "Operation canceled"

  auto failWith = [&](const QString& text) {
    if (ownError.isEmpty()) ownError = text;
    if (reply && !reply->isFinished()) reply->abort();
  };
  qint64 received = 0;
  auto report = [&] {
    if (!progress || !ownError.isEmpty()) return;
    const QString text = progress(reply, received);
    if (!text.isEmpty()) failWith(text);
  };
  // Restarted by every arrival, so it measures silence, not the whole transfer.
  QTimer stall;
  stall.setSingleShot(true);
  stall.setInterval(stallMs);
  QObject::connect(&stall, &QTimer::timeout, reply, [&] { failWith(QString::fromLatin1(kReadTimedOutText)); });
  auto heardFrom = [&] {
    if (stallMs > 0) stall.start();
  };
  // While nothing arrives there are no reports; this one lets an abort the
  // caller asks for take effect at once all the same.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, reply, report);
  QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, heardFrom);
  // Every arrival of data is a progress report. (Qt's own downloadProgress
  // signal is throttled to a few a second, which would make the bar jump and
  // the abort late.)
  QObject::connect(reply, &QNetworkReply::readyRead, reply, [&] {
    heardFrom();
    const QByteArray data = reply->readAll();
    // The body of an error page is not the installer.
    if (!IsSuccess(StatusOf(reply)) || !ownError.isEmpty()) return;
    if (file.write(data) != data.size()) {
      failWith(file.errorString());
      return;
    }
    received += data.size();
    report();
  });
  heardFrom();
  poll.start(kAbortPollMs);
  WaitForFinished(reply);
  bool ok = false;
  if (!ownError.isEmpty()) {
    error = ownError;
  } else if (reply->error() != QNetworkReply::NoError || !IsSuccess(StatusOf(reply))) {
    error = FailureText(reply);
  } else {
    const QByteArray rest = reply->readAll();
    if (file.write(rest) != rest.size())
      error = file.errorString();
    else
      ok = true;
  }
  reply->deleteLater();
  return ok;
}

}  // namespace vd::update
