// The codecs of a Flash video (.flv), read from its first tags: the player page plays H.264
// with AAC or MP3 sound, and every other Flash video needs a copy made for it first.
#pragma once

#include <QString>

#include <optional>

class QIODevice;

namespace download {

// A video tag's codec id and an audio tag's sound format, as the FLV format numbers them.
namespace flv {
inline constexpr int kSorenson = 2;
inline constexpr int kVp6 = 4;
inline constexpr int kVp6Alpha = 5;
inline constexpr int kAvc = 7;
// Enhanced FLV names the codec by a FourCC instead (HEVC, AV1, VP9).
inline constexpr int kFourCc = 16;
inline constexpr int kMp3 = 2;
inline constexpr int kAac = 10;
} // namespace flv

struct FlashCodecs {
    // The codec named by the first video and the first audio tag; empty when there is none.
    std::optional<int> video;
    std::optional<int> audio;
    // The header announces video or audio that no tag within reach named.
    bool incomplete = false;
};

// How many tags ReadFlashCodecs looks at: each costs two small reads, whatever its size.
inline constexpr int kFlashTagsRead = 64;

// The codecs named by the first kFlashTagsRead tags of file, read from its current position;
// empty when it does not begin as an FLV file does.
std::optional<FlashCodecs> ReadFlashCodecs(QIODevice& file);
// The same for the file at path; empty when it cannot be read.
std::optional<FlashCodecs> ReadFlashCodecs(const QString& path);

// Whether the player page plays a file with these codecs as it is: H.264 or no video, AAC or
// MP3 or no sound, and at least one of the two.
bool PlaysInPage(const FlashCodecs& codecs);

} // namespace download
