// Audio and video by extension and by content, the content matched by Qt's MIME database;
// subtitles by extension.
#include "download/media_file.h"

#include <QMimeDatabase>
#include <QSet>
#include <QString>

namespace download {

namespace {

QByteArray Extension(const QByteArray& name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 ? name.mid(dot + 1).toLower() : QByteArray();
}

bool KnownExtension(const QByteArray& name)
{
    static const QSet<QByteArray> extensions{
        "3g2", "3gp",  "aac", "ac3", "aif",  "aiff", "amr", "asf", "avi",  "f4a",  "f4v",  "flac",
        "flv", "m2ts", "m4a", "m4v", "mka",  "mkv",  "mov", "mp2", "mp3",  "mp4",  "mpeg", "mpg",
        "mts", "oga",  "ogg", "ogv", "opus", "ts",   "vob", "wav", "weba", "webm", "wma",  "wmv"};
    return extensions.contains(Extension(name));
}

bool MediaContent(const QByteArray& start)
{
    const QString type = QMimeDatabase().mimeTypeForData(start).name();
    // Matroska and Ogg say "video" or "audio" only in what follows their first bytes.
    return type.startsWith(u"video/") || type.startsWith(u"audio/") ||
           type == u"application/x-matroska" || type == u"application/ogg" ||
           type == u"application/vnd.ms-asf" || type == u"application/vnd.rn-realmedia";
}

} // namespace

bool IsAudioOrVideo(const QByteArray& name, const QByteArray& start)
{
    return KnownExtension(name) && MediaContent(start);
}

bool IsSubtitleName(const QByteArray& name)
{
    static const QSet<QByteArray> extensions{"ass",  "dfxp", "json3", "lrc", "sbv",  "srt",
                                             "srv1", "srv2", "srv3",  "ssa", "ttml", "vtt"};
    return extensions.contains(Extension(name));
}

} // namespace download
