// One transfer with libcurl: the limits checked every 50 ms, each redirect followed by hand
// after its check, and the body written as it arrives.
#include "update/update_download.h"

#include "platform/network_address.h"
#include "update/curl_library.h"

#include <QFile>

#include <chrono>

namespace update {

namespace {

using Clock = std::chrono::steady_clock;

// Browsers' limit on a chain of redirects: no real server needs more, and a loop ends here.
constexpr int kMaxRedirects = 20;
constexpr int kPollMs = 50;

bool IsHttp(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https");
}

// Names under .invalid never resolve (RFC 6761); the default server address lives there, so a
// build without a configured server asks nobody, not even a name server.
bool IsReservedInvalid(const QUrl& url)
{
    const QString host = url.host().toLower();
    return host == u"invalid" || host.endsWith(u".invalid");
}

} // namespace

bool IsTrustedUpdateUrl(const QUrl& url)
{
    if (!IsHttp(url))
        return false;
    if (url.scheme().compare(u"https", Qt::CaseInsensitive) == 0)
        return true;
    // A literal address only: a name could resolve anywhere.
    return platform::IsLoopbackAddress(url.host().toStdString());
}

bool IsAllowedRedirect(const QUrl& from, const QUrl& to)
{
    const bool fromHttps = from.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    const bool toHttps = to.scheme().compare(u"https", Qt::CaseInsensitive) == 0;
    return IsTrustedUpdateUrl(to) && (toHttps || !fromHttps) &&
           from.host().compare(to.host(), Qt::CaseInsensitive) == 0;
}

bool IsAllowedRedirectToAnyHttpsHost(const QUrl& from, const QUrl& to)
{
    if (IsAllowedRedirect(from, to))
        return true;
    return IsHttp(to) && to.scheme().compare(u"https", Qt::CaseInsensitive) == 0 &&
           !IsReservedInvalid(to);
}

namespace {

bool IsSuccess(long status)
{
    return status >= 200 && status < 300;
}

bool IsRedirect(long status)
{
    return status >= 300 && status < 400;
}

// One address of the chain on its way: what the callbacks see and what they decided.
struct Hop {
    const curl::Api& api;
    CURL* easy;
    QFile& file;
    const DownloadLimits& limits;
    qint64 received = 0;
    bool overLimit = false;
    Clock::time_point lastData = Clock::now();

    long Status() const
    {
        long status = 0;
        api.easyGetinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        return status;
    }
};

std::size_t OnHeader(char*, std::size_t size, std::size_t count, void* user)
{
    Hop& hop = *static_cast<Hop*>(user);
    hop.lastData = Clock::now();
    const std::size_t bytes = size * count;
    // The blank line after the headers: an announced size over the limit fails before any of
    // the body is read.
    if (bytes <= 2 && hop.limits.maxBytes >= 0 && IsSuccess(hop.Status())) {
        curl_off_t length = -1;
        hop.api.easyGetinfo(hop.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        if (length > hop.limits.maxBytes) {
            hop.overLimit = true;
            return 0; // stops the transfer
        }
    }
    return bytes;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    Hop& hop = *static_cast<Hop*>(user);
    hop.lastData = Clock::now();
    const std::size_t bytes = size * count;
    const long status = hop.Status();
    if (IsRedirect(status))
        return bytes; // a redirect's page is not the file
    if (!IsSuccess(status))
        return 0; // an error page: nothing to wait for
    hop.received += static_cast<qint64>(bytes);
    if (hop.limits.maxBytes >= 0 && hop.received > hop.limits.maxBytes) {
        hop.overLimit = true;
        return 0;
    }
    return hop.file.write(data, static_cast<qint64>(bytes)) == static_cast<qint64>(bytes) ? bytes
                                                                                          : 0;
}

bool Cancelled(const DownloadLimits& limits)
{
    return limits.cancel && limits.cancel->load();
}

// Runs one hop to its end, or stops it when a limit is reached; true when libcurl finished it.
bool RunHop(const curl::Api& api, CURLM* multi, Hop& hop, Clock::time_point deadline)
{
    if (api.multiAddHandle(multi, hop.easy) != CURLM_OK)
        return false;
    const auto stall = std::chrono::milliseconds(hop.limits.stallTimeoutMs);
    bool finished = false;
    for (;;) {
        int running = 0;
        if (api.multiPerform(multi, &running) != CURLM_OK)
            break;
        if (running == 0) {
            int queued = 0;
            const CURLMsg* message = api.multiInfoRead(multi, &queued);
            finished = message && message->msg == CURLMSG_DONE && message->data.result == CURLE_OK;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (Cancelled(hop.limits) || now - hop.lastData > stall || now > deadline)
            break;
        api.multiPoll(multi, nullptr, 0, kPollMs, nullptr);
    }
    api.multiRemoveHandle(multi, hop.easy);
    return finished && !hop.overLimit;
}

// Follows the chain from url; true when it ended in a 2xx answer whose body is in file.
bool Fetch(const curl::Api& api, const QUrl& url, QFile& file, const DownloadLimits& limits)
{
    const curl::Easy easy(api.easyInit());
    const curl::Multi multi(api.multiInit());
    if (!easy || !multi)
        return false;
    Hop hop{api, easy.get(), file, limits};
    api.easySetopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
    api.easySetopt(easy.get(), CURLOPT_FOLLOWLOCATION, 0L);
    api.easySetopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http,https");
    api.easySetopt(easy.get(), CURLOPT_USERAGENT, "Vandrel/" VANDREL_VERSION);
    api.easySetopt(easy.get(), CURLOPT_HEADERFUNCTION, &OnHeader);
    api.easySetopt(easy.get(), CURLOPT_HEADERDATA, &hop);
    api.easySetopt(easy.get(), CURLOPT_WRITEFUNCTION, &OnBody);
    api.easySetopt(easy.get(), CURLOPT_WRITEDATA, &hop);

    const Clock::time_point deadline =
        limits.totalTimeoutMs >= 0 ? Clock::now() + std::chrono::milliseconds(limits.totalTimeoutMs)
                                   : Clock::time_point::max();
    QUrl current = url;
    for (int redirects = 0; redirects <= kMaxRedirects; ++redirects) {
        if (api.easySetopt(easy.get(), CURLOPT_URL, current.toEncoded().constData()) != CURLE_OK)
            return false;
        hop.lastData = Clock::now();
        if (!RunHop(api, multi.get(), hop, deadline))
            return false;
        const long status = hop.Status();
        char* location = nullptr;
        api.easyGetinfo(easy.get(), CURLINFO_REDIRECT_URL, &location);
        if (!IsRedirect(status) || !location)
            return IsSuccess(status);
        const QUrl next(QString::fromUtf8(location));
        const bool allowed = limits.redirectsToOtherHttpsHosts
                                 ? IsAllowedRedirectToAnyHttpsHost(current, next)
                                 : IsAllowedRedirect(current, next);
        if (!allowed)
            return false;
        current = next;
    }
    return false;
}

} // namespace

bool DownloadToFile(const QUrl& url, const QString& path, const DownloadLimits& limits)
{
    if (!IsTrustedUpdateUrl(url) || IsReservedInvalid(url) || Cancelled(limits))
        return false;
    const curl::Api* api = curl::Library();
    if (!api)
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const bool ok = Fetch(*api, url, file, limits) && file.flush();
    file.close();
    if (!ok)
        file.remove();
    return ok;
}

} // namespace update
