// The mode words in their order of precedence, and the player file made absolute.
#include "app/run_mode.h"

#include "download/job_kind.h"

#include <QRegularExpression>

#include <array>

namespace {

struct ModeWord {
    const char16_t* word;
    JobKind jobKind;
    QString StartRequest::*target;
};

// The first of these words given with a value decides the run.
const std::array<ModeWord, 6> kModeWords = {{
    {u"player", JobKind::None, &StartRequest::playerFile},
    {u"convert", JobKind::None, &StartRequest::convertValue},
    {u"download", JobKind::Download, &StartRequest::downloadUrl},
    {u"download-mp3", JobKind::Mp3, &StartRequest::downloadUrl},
    {u"download-mp4", JobKind::Mp4, &StartRequest::downloadUrl},
    {u"download-avi", JobKind::Avi, &StartRequest::downloadUrl},
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

QString PlayerFileFrom(const QString& value, const QString& startDirectory)
{
    static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (value.isEmpty() || value.startsWith(u'/') || kScheme.match(value).hasMatch() ||
        startDirectory.isEmpty())
        return value;
    return startDirectory.endsWith(u'/') ? startDirectory + value : startDirectory + u'/' + value;
}
