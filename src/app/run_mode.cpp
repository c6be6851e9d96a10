// The mode words in their order of precedence, and the player file made absolute.
#include "app/run_mode.h"

#include "download/job_kind.h"
#include "platform/file_name.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>

namespace {

struct ModeWord {
    const char16_t* word;
    download::JobKind jobKind;
    QString StartRequest::*target;
};

// The first of these words given with a value decides the run.
const std::array<ModeWord, 6> kModeWords = {{
    {u"player", download::JobKind::None, &StartRequest::playerFile},
    {u"convert", download::JobKind::None, &StartRequest::convertValue},
    {u"download", download::JobKind::Download, &StartRequest::downloadUrl},
    {u"download-mp3", download::JobKind::Mp3, &StartRequest::downloadUrl},
    {u"download-mp4", download::JobKind::Mp4, &StartRequest::downloadUrl},
    {u"download-avi", download::JobKind::Avi, &StartRequest::downloadUrl},
}};

} // namespace

StartRequest DecideRunMode(const CCommandLine& options)
{
    StartRequest request;
    if (options.GetFlag(QStringLiteral("update"))) {
        request.openWindow = false;
        return request;
    }
    for (const ModeWord& mode : kModeWords) {
        const QString word = QString::fromUtf16(mode.word);
        if (!options.HasValue(word))
            continue;
        request.*mode.target = options.GetValue(word);
        request.jobKind = mode.jobKind;
        break;
    }
    return request;
}

QStringList UnreadOptions(const CCommandLine& options)
{
    const auto isOneOf = [](const QString& name, const auto& words) {
        return std::any_of(words.begin(), words.end(),
                           [&](const QString& word) { return CCommandLine::SameName(name, word); });
    };
    const QStringList flags = {QStringLiteral("update"), QStringLiteral("help"),
                               QStringLiteral("version")};
    QStringList modeWords;
    for (const ModeWord& mode : kModeWords)
        modeWords << QString::fromUtf16(mode.word);

    QStringList unread;
    for (const QString& name : options.FlagNames()) {
        if (!isOneOf(name, flags))
            unread << QStringLiteral("--") + name;
    }
    for (const QString& name : options.ValueNames()) {
        if (!isOneOf(name, modeWords))
            unread << QStringLiteral("--") + name + QStringLiteral("=...");
    }
    return unread;
}

QString PlayerFileFrom(const QString& value, const QString& startDirectory)
{
    if (value.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive)) {
        // The path's percent-encoded bytes are the file's name, also when they are not UTF-8.
        const QUrl url(value);
        const QString host = url.host();
        const QByteArray path =
            QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        if (url.isValid() && (host.isEmpty() || host == u"localhost") && path.startsWith('/'))
            return platform::DecodeFileName(path);
    }
    static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (value.isEmpty() || value.startsWith(u'/') || kScheme.match(value).hasMatch() ||
        startDirectory.isEmpty())
        return value;
    return startDirectory.endsWith(u'/') ? startDirectory + value : startDirectory + u'/' + value;
}
