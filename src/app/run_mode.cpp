// The mode words in their order of precedence, and the player file made absolute.
#include "app/run_mode.h"

#include "download/job_kind.h"
#include "platform/file_name.h"

#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>

namespace app {

namespace {

// Which job wins when several are asked for; after "player" and "convert", which stop the
// search. Every kind of the table has its place.
constexpr std::array kJobPrecedence = {download::JobKind::Download, download::JobKind::Mp3,
                                       download::JobKind::Mp4, download::JobKind::Avi};

constexpr bool EveryKindHasItsPlace()
{
    for (const download::JobKindRow& row : download::kJobKinds) {
        if (std::count(kJobPrecedence.begin(), kJobPrecedence.end(), row.kind) != 1)
            return false;
    }
    return kJobPrecedence.size() == download::kJobKinds.size();
}
static_assert(EveryKindHasItsPlace());

QString Word(std::u16string_view word)
{
    return QString::fromUtf16(word.data(), static_cast<qsizetype>(word.size()));
}

const QString kPlayerWord = QStringLiteral("player");
const QString kConvertWord = QStringLiteral("convert");

} // namespace

StartRequest DecideRunMode(const CommandLine& options)
{
    StartRequest request;
    if (options.GetFlag(QStringLiteral("update"))) {
        request.openWindow = false;
        return request;
    }
    // The first of the words given with a value decides the run.
    if (options.HasValue(kPlayerWord)) {
        request.playerFile = options.GetValue(kPlayerWord);
        return request;
    }
    if (options.HasValue(kConvertWord)) {
        request.convertValue = options.GetValue(kConvertWord);
        return request;
    }
    for (const download::JobKind kind : kJobPrecedence) {
        const QString word = Word(download::FindJobKind(kind)->option);
        if (options.HasValue(word)) {
            request.downloadUrl = options.GetValue(word);
            request.jobKind = kind;
            break;
        }
    }
    return request;
}

QStringList UnreadOptions(const CommandLine& options)
{
    const auto isOneOf = [](const QString& name, const QStringList& words) {
        return std::any_of(words.begin(), words.end(),
                           [&](const QString& word) { return CommandLine::SameName(name, word); });
    };
    const QStringList flags = {QStringLiteral("update"), QStringLiteral("help"),
                               QStringLiteral("version")};
    QStringList modeWords = {kPlayerWord, kConvertWord};
    for (const download::JobKindRow& row : download::kJobKinds)
        modeWords << Word(row.option);

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

} // namespace app
