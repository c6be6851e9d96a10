// The byte-exact conversion between file-name bytes and QString: UTF-8 decoding by hand, with
// each byte that is not valid UTF-8 carried as a lone surrogate.
#include "platform/file_name.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include <unistd.h>

namespace platform {
namespace {

constexpr char16_t kEscapeBase = 0xDC00;

// The length of the valid UTF-8 sequence at bytes[i] and its code point; 0 when the bytes
// there are not one (a stray continuation byte, a cut-off sequence, an overlong form, a
// surrogate or a value above U+10FFFF).
int ValidSequence(QByteArrayView bytes, qsizetype i, char32_t& codePoint)
{
    const auto at = [&](qsizetype k) { return static_cast<std::uint8_t>(bytes[k]); };
    const std::uint8_t lead = at(i);
    int length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        const std::uint8_t next = at(i + k);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out.append(static_cast<char>(c));
    } else if (c < 0x800) {
        out.append(static_cast<char>(0xC0 | (c >> 6)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.append(static_cast<char>(0xE0 | (c >> 12)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.append(static_cast<char>(0xF0 | (c >> 18)));
        out.append(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.append(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.append(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

} // namespace

QString DecodeFileName(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int length = ValidSequence(bytes, i, c);
        if (length == 0) {
            name.append(
                QChar(static_cast<char16_t>(kEscapeBase + static_cast<std::uint8_t>(bytes[i]))));
            ++i;
            continue;
        }
        if (c < 0x10000) {
            name.append(QChar(static_cast<char16_t>(c)));
        } else {
            name.append(QChar(QChar::highSurrogate(c)));
            name.append(QChar(QChar::lowSurrogate(c)));
        }
        i += length;
    }
    return name;
}

QByteArray EncodeFileName(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t u = name[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            AppendUtf8(out, QChar::surrogateToUcs4(u, name[i + 1].unicode()));
            ++i;
        } else if (u >= kEscapeBase + 0x80 && u <= kEscapeBase + 0xFF) {
            out.append(static_cast<char>(u - kEscapeBase));
        } else if (QChar::isSurrogate(u)) {
            AppendUtf8(out, QChar::ReplacementCharacter);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

QString CurrentDirectory()
{
    // getcwd with a null buffer allocates one of the size it needs.
    const std::unique_ptr<char, decltype(&::free)> path(::getcwd(nullptr, 0), &::free);
    return path ? DecodeFileName(path.get()) : QString();
}

} // namespace platform
