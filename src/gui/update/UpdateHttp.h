// The three GET requests of the update check, each blocking its caller in a
// local event loop, so start-up waits for the answer while pending events
// (and, during the download, the dialog) are still served.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

namespace vd::update {

inline constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MyApp)";
inline constexpr int kTextMaxRedirects = 10;
// The error of a download that received nothing for its stall time.
inline constexpr char kReadTimedOutText[] = "Read timed out.";
// How often a download asks its progress callback while no data arrives.
inline constexpr int kAbortPollMs = 50;

// GETs a small text resource into memory, following at most
// kTextMaxRedirects redirects and failing when no data arrives for
// `readTimeoutMs`. False with `error` set on any network error or any status
// outside 2xx.
bool HttpGetToMemory(QNetworkAccessManager& client, const QUrl& url, int readTimeoutMs, QByteArray& body,
                     QString& error);

// Reports the bytes received so far. Returning a non-empty text ends the
// transfer with that text as its error.
using TDownloadProgress = std::function<QString(QNetworkReply* sender, qint64 count)>;

// GETs `url` straight into the open `file`, without following redirects.
// `progress` is called on every arrival of data and every kAbortPollMs in
// between, so an abort it reports ends the transfer at once even while the
// server sends nothing. After `stallMs` without data (0: never) the transfer
// fails with kReadTimedOutText. False with `error` set on a network error, a
// status outside 2xx, a write failure, a stall or an error from `progress`.
bool HttpDownloadToFile(QNetworkAccessManager& client, const QUrl& url, QFile& file, const TDownloadProgress& progress,
                        int stallMs, QString& error);

}  // namespace vd::update
