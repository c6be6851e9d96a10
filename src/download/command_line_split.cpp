// The Windows command-line rules, applied to a QString's UTF-16 code units.
#include "download/command_line_split.h"

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

} // namespace

QStringList SplitCommandLine(const QString& commandLine)
{
    QStringList words;
    const qsizetype n = commandLine.size();
    qsizetype i = 0;
    while (i < n && IsBlank(commandLine[i]))
        ++i;
    if (i == n)
        return words;

    // The program.
    QString word;
    if (commandLine[i] == u'"') {
        ++i;
        while (i < n && commandLine[i] != u'"')
            word += commandLine[i++];
        if (i < n)
            ++i; // the closing quote; the next word may follow it without a blank
    } else {
        while (i < n && !IsBlank(commandLine[i]))
            word += commandLine[i++];
    }
    words << word;

    // The arguments.
    for (;;) {
        while (i < n && IsBlank(commandLine[i]))
            ++i;
        if (i == n)
            break;
        word.clear();
        bool quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            const QChar c = commandLine[i];
            if (c == u'\\') {
                qsizetype slashes = 0;
                while (i < n && commandLine[i] == u'\\')
                    ++slashes, ++i;
                if (i < n && commandLine[i] == u'"') {
                    word += QString(slashes / 2, u'\\');
                    if (slashes % 2 == 1) {
                        word += u'"';
                        ++i;
                    }
                    // An even count leaves the quote to act on the next pass.
                } else {
                    word += QString(slashes, u'\\');
                }
            } else if (c == u'"') {
                if (quoted && i + 1 < n && commandLine[i + 1] == u'"') {
                    word += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                word += c;
                ++i;
            }
        }
        words << word;
    }
    return words;
}
