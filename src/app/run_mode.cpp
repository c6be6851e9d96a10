// The mode words and the plain words in their order of precedence, and the player file made
// absolute.
#include "app/run_mode.h"

#include "download/job_kind.h"
#include "platform/file_name.h"

#include <QFileInfo>
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

bool HasScheme(const QString& word)
{
    static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    return kScheme.match(word).hasMatch();
}

bool IsWebAddress(const QString& word)
{
    return word.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
           word.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
}

// The mode options' choice; false when none of them was given.
bool DecideByOptions(const CommandLine& options, const QString& startDirectory,
                     StartRequest& request)
{
    // The first of the words given with a value decides the run.
    if (options.HasValue(kPlayerWord)) {
        request.playerFile = PlayerFileFrom(options.GetValue(kPlayerWord), startDirectory);
        return true;
    }
    if (options.HasValue(kConvertWord)) {
        request.convertValue = options.GetValue(kConvertWord);
        return true;
    }
    for (const download::JobKind kind : kJobPrecedence) {
        const QString word = Word(download::FindJobKind(kind)->option);
        if (options.HasValue(word)) {
            request.url = options.GetValue(word);
            request.jobKind = kind;
            return true;
        }
    }
    return false;
}

// A plain word: an address for the URL field, or a file (a path or a file URL) to play.
void DecideByPlainWord(const QString& word, const QString& startDirectory, StartRequest& request)
{
    if (IsWebAddress(word)) {
        request.url = word;
        return;
    }
    const QString path = PlayerFileFrom(word, startDirectory);
    if (HasScheme(path)) {
        request.notes << word + QStringLiteral(": neither a file nor an http or https address");
        return;
    }
    const QFileInfo file(path);
    if (file.isFile())
        request.playerFile = path;
    else
        request.notes << word + (file.exists() ? QStringLiteral(": not a file to play")
                                               : QStringLiteral(": no such file"));
}

} // namespace

StartRequest DecideRunMode(const CommandLine& options, const QString& startDirectory)
{
    StartRequest request;
    if (options.GetFlag(QStringLiteral("update"))) {
        request.openWindow = false;
        return request;
    }
    const QStringList& plain = options.PlainWords();
    const bool byOptions = DecideByOptions(options, startDirectory, request);
    if (!byOptions && !plain.isEmpty())
        DecideByPlainWord(plain.front(), startDirectory, request);
    for (qsizetype i = byOptions ? 0 : 1; i < plain.size(); ++i)
        request.notes << QStringLiteral("ignoring %1: %2")
                             .arg(plain[i],
                                  byOptions
                                      ? QStringLiteral("an option already says what to do")
                                      : QStringLiteral("only the first address or file is used"));
    return request;
}

QStringList UnreadOptions(const CommandLine& options)
{
    QStringList unread;
    for (const QString& name : options.FlagNames()) {
        if (!CommandLine::IsFlagWord(name))
            unread << QStringLiteral("--") + name;
    }
    for (const QString& name : options.ValueNames()) {
        if (!CommandLine::IsValueWord(name))
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
    if (value.isEmpty() || value.startsWith(u'/') || HasScheme(value) || startDirectory.isEmpty())
        return value;
    return startDirectory.endsWith(u'/') ? startDirectory + value : startDirectory + u'/' + value;
}

} // namespace app
