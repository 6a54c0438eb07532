#include "update/NewVersionCheck.h"

#include <QNetworkAccessManager>

#include "core/VersionCheck.h"
#include "update/Site.h"
#include "update/UpdateHttp.h"
#include "update/UpdateSeams.h"

namespace vd {

bool MandatoryUpdate = false;
bool DownloadCancelled = false;
QString NewVersionMessage;

bool CheckNewVersion() {
  QByteArray versionFile, changesFile;
  {
    // One client for both files; destroying it closes its connections.
    QNetworkAccessManager client;
    QString error;
    const int timeout = update::Seams().TextReadTimeoutMs;
    if (!update::HttpGetToMemory(client, SiteUrl(QStringLiteral("/download/version/vorndale-version.html")),
                                 timeout, versionFile, error))
      return false;
    if (!update::HttpGetToMemory(client, SiteUrl(QStringLiteral("/download/version/vorndale-changes.html")),
                                 timeout, changesFile, error))
      return false;
  }
  const TUpdateOffer offer = EvaluateVersionFiles(std::string_view(versionFile.constData(), versionFile.size()),
                                                  std::string_view(changesFile.constData(), changesFile.size()));
  if (offer.Kind == TUpdateKind::None) return false;
  MandatoryUpdate = offer.Kind == TUpdateKind::Mandatory;
  NewVersionMessage = QString::fromStdString(offer.Message);
  return true;
}

}  // namespace vd
