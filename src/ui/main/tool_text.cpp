// Decoding a tool's bytes for the log box (valid UTF-8 as such, any other byte as Latin-1), and
// reading the percent of a progress line.
#include "ui/main/tool_text.h"

#include <QRegularExpression>

namespace ui {
namespace {

// The length of the valid UTF-8 sequence at bytes[at], or 0 when there is none (overlong forms,
// surrogates and code points past U+10FFFF are not valid).
qsizetype Utf8SequenceAt(const QByteArray& bytes, qsizetype at)
{
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    qsizetype length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF)
            return 0;
    }
    return length;
}

} // namespace

QString DecodeToolText(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    qsizetype at = 0;
    while (at < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        if (c < 0x80) {
            text += QLatin1Char(static_cast<char>(c));
            ++at;
        } else if (const qsizetype length = Utf8SequenceAt(bytes, at)) {
            text += QString::fromUtf8(bytes.constData() + at, length);
            at += length;
        } else {
            text += QChar(c); // Latin-1: the byte's own code point
            ++at;
        }
    }
    return text;
}

std::optional<std::int32_t> ProgressOf(const QByteArray& text)
{
    static const QRegularExpression percent(QStringLiteral("^\\s*(\\d{1,3}(?:\\.\\d+)?)%"));
    const QRegularExpressionMatch m = percent.match(QString::fromLatin1(text.left(32)));
    if (!m.hasMatch())
        return std::nullopt;
    const double value = m.captured(1).toDouble();
    if (value > 100.0)
        return std::nullopt;
    return static_cast<std::int32_t>(value * 10.0 + 0.5);
}

} // namespace ui
