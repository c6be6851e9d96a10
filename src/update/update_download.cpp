// One transfer in a local event loop: timers for the limits, a redirect check on every hop,
// and the body written as it arrives.
#include "update/update_download.h"

#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace {

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

struct DeleteLater {
    void operator()(QObject* object) const { object->deleteLater(); }
};

} // namespace

bool IsTrustedUpdateUrl(const QUrl& url)
{
    if (!IsHttp(url))
        return false;
    if (url.scheme().compare(u"https", Qt::CaseInsensitive) == 0)
        return true;
    // A literal address only: a name could resolve anywhere.
    return QHostAddress(url.host()).isLoopback();
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

bool DownloadToFile(QNetworkAccessManager& manager, const QUrl& url, const QString& path,
                    const DownloadLimits& limits)
{
    if (!IsTrustedUpdateUrl(url) || IsReservedInvalid(url))
        return false;
    if (limits.cancel && limits.cancel->load())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    const std::unique_ptr<QNetworkReply, DeleteLater> reply(manager.get(request));
    // Qt stops reading the socket while this much is waiting, so memory stays bounded.
    reply->setReadBufferSize(64 * 1024);

    QEventLoop loop;
    QTimer stall;
    stall.setSingleShot(true);
    stall.setInterval(limits.stallTimeoutMs);
    QTimer total;
    total.setSingleShot(true);
    QTimer cancelPoll;
    cancelPoll.setInterval(50);
    bool failed = false;
    qint64 received = 0;
    QUrl current = url;
    const auto fail = [&] {
        failed = true;
        reply->abort();
    };
    const auto drain = [&] {
        const QByteArray data = reply->readAll();
        received += data.size();
        if (limits.maxBytes >= 0 && received > limits.maxBytes)
            fail();
        else if (!data.isEmpty() && file.write(data) != data.size())
            fail();
    };

    QObject::connect(&stall, &QTimer::timeout, &loop, fail);
    QObject::connect(&total, &QTimer::timeout, &loop, fail);
    QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
        if (limits.cancel->load())
            fail();
    });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, [&] {
        stall.start();
        if (!failed)
            drain();
    });
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        stall.start();
        // An announced size over the limit fails before any of the body is read.
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (limits.maxBytes >= 0 && length.isValid() && length.toLongLong() > limits.maxBytes)
            fail();
    });
    QObject::connect(reply.get(), &QNetworkReply::redirected, &loop, [&](const QUrl& target) {
        stall.start();
        const QUrl next = current.resolved(target);
        const bool allowed = limits.redirectsToOtherHttpsHosts
                                 ? IsAllowedRedirectToAnyHttpsHost(current, next)
                                 : IsAllowedRedirect(current, next);
        if (!allowed)
            return fail();
        current = next;
        emit reply->redirectAllowed();
    });
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    stall.start();
    if (limits.totalTimeoutMs >= 0)
        total.start(limits.totalTimeoutMs);
    if (limits.cancel)
        cancelPoll.start();
    if (!reply->isFinished() && !failed)
        loop.exec();
    stall.stop();
    total.stop();
    cancelPoll.stop();

    if (!failed)
        drain();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = !failed && reply->error() == QNetworkReply::NoError && status >= 200 &&
                    status < 300 && file.flush();
    file.close();
    if (!ok)
        file.remove();
    return ok;
}
