#include "update/Site.h"

#ifndef VORNDALE_SITE
#define VORNDALE_SITE "https://www.vorndale.example"
#endif

namespace vd {

namespace {
QString& SiteOverride() {
  static QString s;
  return s;
}
}  // namespace

QString SiteBaseUrl() {
  QString s = SiteOverride().isEmpty() ? QString::fromUtf8(VORNDALE_SITE) : SiteOverride();
  while (s.endsWith(QLatin1Char('/'))) s.chop(1);
  return s;
}

QUrl SiteUrl(const QString& path) { return QUrl(SiteBaseUrl() + path); }

QUrl SiteHomePageUrl() { return SiteUrl(QStringLiteral("/")); }

void SetSiteBaseUrl(const QString& base) { SiteOverride() = base; }

}  // namespace vd
