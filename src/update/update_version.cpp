// The version record, 24 bytes anywhere in a file:
//
//   offset  size  field
//        0     8  signature "VndrlVer"
//        8     8  major, minor, build, revision: unsigned 16-bit little-endian each
//       16     8  the same four values again, each with all bits inverted
//
// The inverted copy is the record's check: the signature alone also turns up elsewhere (the
// compiler may put it into the reader's code as an immediate, and any file may hold it by
// chance), and only a signature followed by a matching pair of copies counts. The first such
// record in the file wins. The tool payload appended to the executable is found by scanning for
// its marker word at 4-aligned offsets, so the record must never hold that word; a static
// assertion below checks every offset.
#include "update/update_version.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace update {

namespace {

constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kRecordSize = 24;
using Record = std::array<unsigned char, kRecordSize>;
using Version = std::array<std::uint16_t, 4>;

// "1.0.0.1" -> {1, 0, 0, 1}; missing parts are 0.
constexpr Version ParseVersion(std::string_view text)
{
    Version version{};
    std::size_t part = 0;
    for (char c : text) {
        if (c == '.') {
            if (++part == version.size())
                break;
        } else if (c >= '0' && c <= '9') {
            version[part] = static_cast<std::uint16_t>(version[part] * 10 + (c - '0'));
        }
    }
    return version;
}

constexpr Record MakeRecord(const Version& version)
{
    Record record{'V', 'n', 'd', 'r', 'l', 'V', 'e', 'r'};
    for (std::size_t i = 0; i < version.size(); ++i) {
        const auto inverted = static_cast<std::uint16_t>(~version[i]);
        record[8 + 2 * i] = static_cast<unsigned char>(version[i] & 0xFF);
        record[9 + 2 * i] = static_cast<unsigned char>(version[i] >> 8);
        record[16 + 2 * i] = static_cast<unsigned char>(inverted & 0xFF);
        record[17 + 2 * i] = static_cast<unsigned char>(inverted >> 8);
    }
    return record;
}

// Whether the payload marker's four bytes (0D F0 AD DE) appear anywhere in the record.
constexpr bool HoldsPayloadMarker(const Record& record)
{
    for (std::size_t i = 0; i + 4 <= record.size(); ++i) {
        if (record[i] == 0x0D && record[i + 1] == 0xF0 && record[i + 2] == 0xAD &&
            record[i + 3] == 0xDE)
            return true;
    }
    return false;
}

// The executable's own record. Nothing reads it through memory except the signature below, so
// it is marked used to keep it in the file.
[[gnu::used]] constexpr Record kVersionRecord = MakeRecord(ParseVersion(VANDREL_VERSION));
static_assert(!HoldsPayloadMarker(kVersionRecord));

// The version of a record that starts at data, or empty when the check does not match.
QString VersionAt(const unsigned char* data)
{
    std::array<unsigned, 4> parts{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const unsigned value = data[8 + 2 * i] | (data[9 + 2 * i] << 8);
        const unsigned inverted = data[16 + 2 * i] | (data[17 + 2 * i] << 8);
        if ((value ^ inverted) != 0xFFFF)
            return {};
        parts[i] = value;
    }
    return QString::asprintf("%u.%u.%u.%u", parts[0], parts[1], parts[2], parts[3]);
}

} // namespace

std::optional<QString> ReadFileVersion(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto* signatureBegin = kVersionRecord.data();
    const auto* signatureEnd = signatureBegin + kSignatureSize;

    // Read in blocks; the last kRecordSize - 1 bytes of a block are kept in front of the next,
    // so a record that straddles two blocks is still seen whole.
    constexpr qint64 kBlock = 64 * 1024;
    QByteArray window;
    for (;;) {
        const QByteArray block = file.read(kBlock);
        const bool last = block.size() < kBlock;
        window += block;
        const auto* begin = reinterpret_cast<const unsigned char*>(window.constData());
        const auto* end = begin + window.size();
        for (const unsigned char* hit = begin;;) {
            hit = std::search(hit, end, signatureBegin, signatureEnd);
            if (end - hit < static_cast<std::ptrdiff_t>(kRecordSize))
                break;
            if (QString version = VersionAt(hit); !version.isEmpty())
                return version;
            ++hit;
        }
        if (last)
            return std::nullopt;
        window = window.right(kRecordSize - 1);
    }
}

} // namespace update
