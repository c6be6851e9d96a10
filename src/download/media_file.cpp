// Audio and video by extension and by content, the content matched by Qt's MIME database.
#include "download/media_file.h"

#include <QMimeDatabase>
#include <QSet>
#include <QString>

namespace download {

namespace {

bool KnownExtension(const QByteArray& name)
{
    static const QSet<QByteArray> extensions{
        "3g2", "3gp",  "aac", "ac3", "aif",  "aiff", "amr", "asf", "avi",  "f4a",  "f4v",  "flac",
        "flv", "m2ts", "m4a", "m4v", "mka",  "mkv",  "mov", "mp2", "mp3",  "mp4",  "mpeg", "mpg",
        "mts", "oga",  "ogg", "ogv", "opus", "ts",   "vob", "wav", "weba", "webm", "wma",  "wmv"};
    const qsizetype dot = name.lastIndexOf('.');
    return dot > 0 && extensions.contains(name.mid(dot + 1).toLower());
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

} // namespace download
