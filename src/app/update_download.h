// Downloads for the update check: an HTTP(S) address into a new private file, with a limit on
// how long a transfer may make no progress and, for the version file, on its size.
#pragma once

#include <QString>
#include <QUrl>

class QNetworkAccessManager;

// Installers come only over https, or from a literal loopback address (tests): a plain-http
// installer could be replaced on the way and would run with the user's rights.
bool IsTrustedInstallerUrl(const QUrl& url);

struct DownloadLimits {
    // The download gives up when nothing arrives for this long (connecting included).
    int stallTimeoutMs = 15000;
    // Larger answers fail; negative: no limit (the body goes to disk, never into memory whole).
    qint64 maxBytes = -1;
    // Every redirect must also satisfy IsTrustedInstallerUrl.
    bool installerRedirectsOnly = false;
};

// Downloads url into a new file at path, created exclusively (an existing file or link there
// makes it fail) with owner-only rights. Only http and https are fetched, and any status
// other than 2xx fails. On failure a file it created is removed again. It runs an event loop
// of its own, so the calling thread needs an event dispatcher (any QThread has one).
bool DownloadToFile(QNetworkAccessManager& manager, const QUrl& url, const QString& path,
                    const DownloadLimits& limits);
