// Whether a file a job saved is audio or video, by its extension and by its first bytes, or a
// subtitle by its extension. A web
// page chooses what the downloader saves, and a job hands what it saved to the desktop's
// opener: a launcher (".desktop"), a link file or a script must never get that far.
#pragma once

#include <QByteArray>

namespace download {

// How many bytes from the start of a file IsAudioOrVideo needs.
inline constexpr qsizetype kMediaSniffBytes = 4096;

// True when the name ends in a known audio or video extension and start (the file's first
// kMediaSniffBytes bytes) has the form of an audio or video container.
bool IsAudioOrVideo(const QByteArray& name, const QByteArray& start);

// True when the name ends in the extension of a subtitle format, text that a desktop opens in a
// player or an editor, never runs.
bool IsSubtitleName(const QByteArray& name);

} // namespace download
