// The Flash video tag reader on arbitrary files: it reads no more than its fixed number of small
// reads allow, whatever the tag sizes say, names codecs only as the format numbers them, and
// names any only for a file that begins as an FLV file does.
#include "download/flash_codecs.h"
#include "fuzz_check.h"

#include <QIODevice>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// A file in memory that counts the bytes read from it.
class CountingFile final : public QIODevice {
public:
    explicit CountingFile(QByteArrayView bytes) : m_bytes(bytes) { open(QIODevice::ReadOnly); }
    qint64 size() const override { return m_bytes.size(); }
    qint64 bytesRead() const { return m_read; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = std::clamp<qint64>(m_bytes.size() - pos(), 0, maxSize);
        std::memcpy(data, m_bytes.data() + pos(), static_cast<std::size_t>(n));
        m_read += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArrayView m_bytes;
    qint64 m_read = 0;
};

bool InFormat(const std::optional<int>& codec, bool fourCc)
{
    return !codec || (*codec >= 0 && *codec <= 15) || (fourCc && *codec == download::flv::kFourCc);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    CountingFile file(bytes);
    // Unbuffered: the count is what the reader asked for, not what QIODevice read ahead.
    file.close();
    file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    const std::optional<download::FlashCodecs> codecs = download::ReadFlashCodecs(file);
    FUZZ_CHECK(file.bytesRead() <= 9 + download::kFlashTagsRead * (11 + 1));
    if (!codecs)
        return 0;
    FUZZ_CHECK(bytes.startsWith("FLV"));
    FUZZ_CHECK(InFormat(codecs->video, true) && InFormat(codecs->audio, false));
    if (download::PlaysInPage(*codecs)) {
        FUZZ_CHECK(!codecs->incomplete && (codecs->video || codecs->audio));
    }
    return 0;
}
