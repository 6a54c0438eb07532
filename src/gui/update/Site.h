// The vendor's web site: one address, set by the build (VORNDALE_SITE), from
// which the update files are fetched and whose home page Website, About and a
// failed update open.
#pragma once

#include <QString>
#include <QUrl>

namespace vd {

// Scheme and host (and port), without a trailing "/": "https://www.vorndale.example".
QString SiteBaseUrl();
// The site's address with `path` (starting with "/") appended.
QUrl SiteUrl(const QString& path);
// The home page, opened in the browser.
QUrl SiteHomePageUrl();

// Points every site address somewhere else (tests use a local server); an
// empty text returns to the build setting.
void SetSiteBaseUrl(const QString& base);

}  // namespace vd
