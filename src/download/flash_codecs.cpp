// Reading an FLV file's header and the first byte of its first tags: a few small reads and
// seeks, so a file of any size costs the same, and a damaged one ends the reading early.
#include "download/flash_codecs.h"

#include "platform/file_system.h"

#include <QFile>
#include <QIODevice>

namespace download {

namespace {

constexpr qint64 kHeaderBytes = 9;
constexpr qint64 kTagHeaderBytes = 11;
constexpr qint64 kPreviousTagSizeBytes = 4;
constexpr int kAudioTag = 8;
constexpr int kVideoTag = 9;
constexpr unsigned char kHasAudio = 0x04;
constexpr unsigned char kHasVideo = 0x01;

quint32 BigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | bytes[i];
    return value;
}

// The first byte of a tag's data, which names its codec; empty at the end of the file.
std::optional<unsigned char> FirstDataByte(QIODevice& file)
{
    char byte = 0;
    if (file.read(&byte, 1) != 1)
        return std::nullopt;
    return static_cast<unsigned char>(byte);
}

} // namespace

std::optional<FlashCodecs> ReadFlashCodecs(QIODevice& file)
{
    unsigned char header[kHeaderBytes];
    if (file.read(reinterpret_cast<char*>(header), kHeaderBytes) != kHeaderBytes ||
        header[0] != 'F' || header[1] != 'L' || header[2] != 'V')
        return std::nullopt;
    const bool announcesAudio = header[4] & kHasAudio;
    const bool announcesVideo = header[4] & kHasVideo;
    const qint64 start = file.pos() - kHeaderBytes;
    qint64 next = start + BigEndian(header + 5, 4) + kPreviousTagSizeBytes;

    FlashCodecs codecs;
    for (int tag = 0; tag < kFlashTagsRead; ++tag) {
        // Both named, or the one the header announces: the rest need not be read.
        if (codecs.video && codecs.audio)
            break;
        if ((codecs.video || codecs.audio) && (codecs.video || !announcesVideo) &&
            (codecs.audio || !announcesAudio))
            break;
        unsigned char tagHeader[kTagHeaderBytes];
        if (!file.seek(next) ||
            file.read(reinterpret_cast<char*>(tagHeader), kTagHeaderBytes) != kTagHeaderBytes)
            break;
        // The high bits mark an encrypted tag; its codec byte is still the first.
        const int type = tagHeader[0] & 0x1f;
        const quint32 size = BigEndian(tagHeader + 1, 3);
        if (size > 0 && type == kVideoTag && !codecs.video) {
            const std::optional<unsigned char> byte = FirstDataByte(file);
            if (!byte)
                break;
            codecs.video = (*byte & 0x80) ? flv::kFourCc : (*byte & 0x0f);
        } else if (size > 0 && type == kAudioTag && !codecs.audio) {
            const std::optional<unsigned char> byte = FirstDataByte(file);
            if (!byte)
                break;
            codecs.audio = *byte >> 4;
        }
        next += kTagHeaderBytes + size + kPreviousTagSizeBytes;
    }
    codecs.incomplete = (announcesVideo && !codecs.video) || (announcesAudio && !codecs.audio);
    return codecs;
}

std::optional<FlashCodecs> ReadFlashCodecs(const QString& path)
{
    // By the name's own bytes: a name that is not UTF-8 is still found.
    const platform::UniqueFd fd = platform::OpenForReading(path);
    QFile file;
    if (!fd || !file.open(fd.Get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    return ReadFlashCodecs(file);
}

bool PlaysInPage(const FlashCodecs& codecs)
{
    if (codecs.incomplete || (!codecs.video && !codecs.audio))
        return false;
    const bool video = !codecs.video || *codecs.video == flv::kAvc;
    const bool audio = !codecs.audio || *codecs.audio == flv::kAac || *codecs.audio == flv::kMp3;
    return video && audio;
}

} // namespace download
