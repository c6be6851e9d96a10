// Downloads for the update check: an HTTP(S) address into a new private file, with limits on
// how long a transfer may make no progress, how long it may take in all, and its size.
#pragma once

#include <QString>
#include <QUrl>

#include <atomic>

namespace update {

// The version file and the installer come only over https, or from a literal loopback address
// (tests): over plain http either could be replaced on the way, and the installer runs with the
// user's rights.
bool IsTrustedUpdateUrl(const QUrl& url);
// A redirect from one address to another is followed only when the target is trusted, on the
// same host, and does not leave https for http.
bool IsAllowedRedirect(const QUrl& from, const QUrl& to);
// The same, but the target may be any https address.
bool IsAllowedRedirectToAnyHttpsHost(const QUrl& from, const QUrl& to);

struct DownloadLimits {
    // The download gives up when nothing arrives for this long (connecting included).
    int stallTimeoutMs = 15000;
    // The download gives up when it has not ended this long after it began, however steadily
    // the data comes; negative: no limit.
    int totalTimeoutMs = -1;
    // Larger answers fail; negative: no limit (the body goes to disk, never into memory whole).
    qint64 maxBytes = -1;
    // Redirects may also lead to another https host (files whose content is verified after the
    // download, such as signed releases served from a content host).
    bool redirectsToOtherHttpsHosts = false;
    // When set and it becomes true, the download gives up within about 50 ms.
    const std::atomic<bool>* cancel = nullptr;
};

// Downloads url into a new file at path, created exclusively (an existing file or link there
// makes it fail) with owner-only rights. Only trusted addresses are fetched (redirects included,
// see IsAllowedRedirect), and any status other than 2xx fails. On failure a file it created is
// removed again. It blocks the calling thread until the transfer ends; without an installed
// libcurl (see curl_library.h) it fails.
bool DownloadToFile(const QUrl& url, const QString& path, const DownloadLimits& limits);

} // namespace update
