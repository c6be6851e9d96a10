// Lines are cut the way QSettings cuts them: a line goes on across a line end inside quotes or
// after a backslash, ';' starts a comment at the start of a line and ends the value elsewhere
// (outside quotes), and the first '=' outside quotes separates the key from the value.
#include "settings/settings_ini.h"

#include "platform/file_name.h"

#include <cstdint>
#include <vector>

namespace settings::ini {

namespace {

constexpr QByteArrayView kBom = "\xEF\xBB\xBF";

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int OctValue(char c)
{
    return c >= '0' && c <= '7' ? c - '0' : -1;
}

// One logical line: [start, end) of the data, equals the position of the separating '=' or -1.
struct Line {
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1;
};

// The next logical line from pos on; false when only blanks and comments are left.
bool NextLine(QByteArrayView data, qsizetype& pos, Line& line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    qsizetype start = pos;
    while (start < size && IsSpace(data[start]))
        ++start;
    qsizetype i = start;
    while (i < size) {
        char ch = data[i];
        while (!IsSpecial(ch)) {
            if (++i == size)
                goto done;
            ch = data[i];
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && line.equals == -1)
                line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (i < size) {
                    const char next = data[i];
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == start + 1) {
                while (i < size && data[i] != '\n' && data[i] != '\r')
                    ++i;
                while (i < size && IsSpace(data[i]))
                    ++i;
                start = i;
            } else if (!inQuotes) {
                --i;
                goto done;
            }
        }
    }
done:
    pos = i;
    line.start = start;
    line.end = i;
    return i > start;
}

// A key's escapes: '\' stands for '/', "%XX" and "%UXXXX" for a character.
QString UnescapeKey(QByteArrayView key)
{
    const QString decoded = platform::DecodeFileName(key);
    QString result;
    const qsizetype size = decoded.size();
    qsizetype i = 0;
    while (i < size) {
        const QChar ch = decoded[i];
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            result += ch;
            ++i;
            continue;
        }
        qsizetype first = i + 1;
        int digits = 2;
        if (decoded[first] == u'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const ushort code = first + digits <= size
                                ? QStringView(decoded).sliced(first, digits).toUShort(&ok, 16)
                                : 0;
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

// A value's text: escapes and quotes resolved, blanks around it dropped (those inside quotes or
// made by an escape stay), a comma kept as a comma.
QString UnescapeValue(QByteArrayView str)
{
    static constexpr char kEscapeCodes[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                               {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                               {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    QString result;
    const qsizetype size = str.size();
    qsizetype i = 0;
    bool inQuotes = false;
    bool quoted = false;
    bool chop = true; // an escape cut short by the end keeps the blanks before it
    const auto skipSpaces = [&] {
        while (i < size && (str[i] == ' ' || str[i] == '\t'))
            ++i;
    };
    // Appends a numeric escape's value and reports whether the text goes on.
    const auto numeric = [&](std::uint32_t value, int base) {
        while (i < size) {
            const int digit = base == 16 ? HexValue(str[i]) : OctValue(str[i]);
            if (digit < 0)
                break;
            value = value * std::uint32_t(base) + std::uint32_t(digit);
            ++i;
        }
        result += QChar(char16_t(value)); // cut to 16 bits, as QSettings does
        return i < size;
    };

    skipSpaces();
    qsizetype chopLimit = 0;
    while (i < size) {
        const char ch = str[i];
        if (ch == '\\') {
            ++i;
            if (i >= size) {
                chop = false;
                break;
            }
            const char code = str[i++];
            bool named = false;
            for (const auto& escape : kEscapeCodes) {
                if (code == escape[0]) {
                    result += QChar(char16_t(escape[1]));
                    named = true;
                    break;
                }
            }
            if (!named && code == 'x') {
                if (i >= size) {
                    chop = false;
                    break;
                }
                if (HexValue(str[i]) >= 0) {
                    if (!numeric(0, 16)) {
                        chop = false;
                        break;
                    }
                }
            } else if (!named && OctValue(code) >= 0) {
                if (!numeric(std::uint32_t(OctValue(code)), 8)) {
                    chop = false;
                    break;
                }
            } else if (!named && (code == '\n' || code == '\r') && i < size) {
                const char next = str[i];
                if ((next == '\n' || next == '\r') && next != code)
                    ++i;
            }
            // Any other escaped character is dropped with its backslash.
            chopLimit = result.size();
        } else if (ch == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                skipSpaces();
                chopLimit = result.size();
            }
        } else {
            qsizetype j = i + 1;
            while (j < size && str[j] != '\\' && str[j] != '"')
                ++j;
            // The run ends only at ASCII, so a UTF-8 sequence is never cut.
            result += platform::DecodeFileName(str.sliced(i, j - i));
            i = j;
        }
    }
    if (chop && !quoted) {
        qsizetype n = result.size();
        while (n > chopLimit && (result[n - 1] == u' ' || result[n - 1] == u'\t'))
            --n;
        result.truncate(n);
    }
    // QSettings marks its own notations with '@': a text with a NUL inside is "@String(...)",
    // and a text's own leading '@' is doubled.
    if (result.startsWith(QStringLiteral("@String(")) && result.endsWith(u')'))
        return result.sliced(8).chopped(1);
    if (result.startsWith(QStringLiteral("@@")))
        result.remove(0, 1);
    return result;
}

bool IsGeneralHeader(QByteArrayView line)
{
    qsizetype close = line.indexOf(']');
    if (close < 0)
        close = line.size();
    return line.first(close).sliced(1).trimmed().compare("general", Qt::CaseInsensitive) == 0;
}

// Where the general section's lines are, for reading one value and for adding one.
struct GeneralLayout {
    std::optional<Line> value;      // the last line of the wanted name
    std::optional<Line> lastHeader; // the last [General] header
    std::optional<Line> lastEntry;  // the last key line after it (or before any header)
};

GeneralLayout ScanGeneral(QByteArrayView data, QStringView name)
{
    GeneralLayout layout;
    qsizetype pos = data.startsWith(kBom) ? kBom.size() : 0;
    bool inGeneral = true;
    Line line;
    while (NextLine(data, pos, line)) {
        const QByteArrayView text = data.sliced(line.start, line.end - line.start);
        if (text.startsWith('[')) {
            inGeneral = IsGeneralHeader(text);
            if (inGeneral) {
                layout.lastHeader = line;
                layout.lastEntry.reset();
            }
            continue;
        }
        if (!inGeneral || line.equals < 0)
            continue;
        layout.lastEntry = line;
        const QByteArrayView key = data.sliced(line.start, line.equals - line.start).trimmed();
        if (UnescapeKey(key) == name)
            layout.value = line;
    }
    return layout;
}

QByteArray EscapeKey(QStringView name)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray result;
    for (const QChar qch : name) {
        const char16_t ch = qch.unicode();
        if (ch == u'/') {
            result += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
                   (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            result += char(ch);
        } else if (ch <= 0xFF) {
            result += '%';
            result += kHex[ch / 16];
            result += kHex[ch % 16];
        } else {
            result += "%U";
            for (int shift = 12; shift >= 0; shift -= 4)
                result += kHex[(ch >> shift) & 0xF];
        }
    }
    return result;
}

QByteArray EscapeValue(QStringView text)
{
    QString marked;
    if (text.contains(QChar(u'\0'))) {
        marked = QStringLiteral("@String(") + text.toString() + u')';
        text = marked;
    } else if (text.startsWith(u'@')) {
        marked = u'@' + text.toString();
        text = marked;
    }
    QByteArray result;
    bool needsQuotes = false;
    bool escapeNextIfDigit = false;
    qsizetype runStart = -1; // a run of characters beyond ASCII, written as file-name bytes
    const auto flushRun = [&](qsizetype end) {
        if (runStart >= 0)
            result += platform::EncodeFileName(text.sliced(runStart, end - runStart));
        runStart = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t ch = text[i].unicode();
        if (ch >= 0x80) {
            if (runStart < 0)
                runStart = i;
            escapeNextIfDigit = false;
            continue;
        }
        flushRun(i);
        if (ch == ';' || ch == ',' || ch == '=')
            needsQuotes = true;
        // After a numeric escape a hex digit would extend it, so it is escaped too.
        if (escapeNextIfDigit && HexValue(char(ch)) >= 0) {
            result += "\\x" + QByteArray::number(ch, 16);
            continue;
        }
        escapeNextIfDigit = false;
        switch (ch) {
        case '\0':
            result += "\\0";
            escapeNextIfDigit = true;
            break;
        case '\a':
            result += "\\a";
            break;
        case '\b':
            result += "\\b";
            break;
        case '\f':
            result += "\\f";
            break;
        case '\n':
            result += "\\n";
            break;
        case '\r':
            result += "\\r";
            break;
        case '\t':
            result += "\\t";
            break;
        case '\v':
            result += "\\v";
            break;
        case '"':
        case '\\':
            result += '\\';
            result += char(ch);
            break;
        default:
            if (ch <= 0x1F) {
                result += "\\x" + QByteArray::number(ch, 16);
                escapeNextIfDigit = true;
            } else {
                result += char(ch);
            }
        }
    }
    flushRun(text.size());
    if (needsQuotes || result.startsWith(' ') || result.endsWith(' '))
        result = '"' + result + '"';
    return result;
}

// The number of logical lines: a line added to a file adds one, unless it was taken into the
// file's last line.
qsizetype CountLines(QByteArrayView data)
{
    qsizetype pos = data.startsWith(kBom) ? kBom.size() : 0;
    qsizetype count = 0;
    Line line;
    while (NextLine(data, pos, line))
        ++count;
    return count;
}

QByteArrayView LineEnd(QByteArrayView data)
{
    return data.indexOf("\r\n") >= 0 ? QByteArrayView("\r\n") : QByteArrayView("\n");
}

// The position just after the line end that follows pos, or the data's end.
qsizetype AfterLineEnd(QByteArrayView data, qsizetype pos)
{
    while (pos < data.size() && data[pos] != '\n' && data[pos] != '\r')
        ++pos;
    if (pos < data.size() && data[pos] == '\r')
        ++pos;
    if (pos < data.size() && data[pos] == '\n')
        ++pos;
    return pos;
}

} // namespace

std::optional<QString> ReadGeneralValue(QByteArrayView file, QStringView name)
{
    const GeneralLayout layout = ScanGeneral(file, name);
    if (!layout.value)
        return std::nullopt;
    const Line& line = *layout.value;
    return UnescapeValue(file.sliced(line.equals + 1, line.end - line.equals - 1));
}

QByteArray FormatLine(QStringView name, QStringView value)
{
    return EscapeKey(name) + '=' + EscapeValue(value);
}

QByteArray SetGeneralValue(QByteArrayView file, QStringView name, QStringView value)
{
    const GeneralLayout layout = ScanGeneral(file, name);
    const QByteArray entry = FormatLine(name, value);
    const QByteArrayView eol = LineEnd(file);
    QByteArray result;
    if (layout.value) {
        result.reserve(file.size() + entry.size());
        result += file.first(layout.value->start);
        result += entry;
        result += file.sliced(layout.value->end);
        return result;
    }
    qsizetype added = 1;
    const std::optional<Line>& after = layout.lastEntry ? layout.lastEntry : layout.lastHeader;
    if (!after) {
        // No general section to add to: a new one at the end, after a blank line.
        result = file.toByteArray();
        if (!result.isEmpty()) {
            if (!result.endsWith('\n') && !result.endsWith('\r'))
                result += eol;
            result += eol;
        }
        result += "[General]";
        result += eol;
        result += entry;
        result += eol;
        added = 2;
    } else {
        const qsizetype at = AfterLineEnd(file, after->end);
        result.reserve(file.size() + entry.size() + 2);
        result += file.first(at);
        if (at == file.size() && !file.endsWith('\n') && !file.endsWith('\r'))
            result += eol;
        result += entry;
        result += eol;
        result += file.sliced(at);
    }
    if (CountLines(result) == CountLines(file) + added)
        return result;
    // The file ends inside quotes or after a backslash, so what is added at its end would
    // belong to its last line. The start of the file is general and always starts a line.
    const qsizetype start = file.startsWith(kBom) ? kBom.size() : 0;
    result = file.first(start).toByteArray();
    result += entry;
    result += eol;
    result += file.sliced(start);
    return result;
}

} // namespace settings::ini
