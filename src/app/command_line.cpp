// The option tables and the plain words filled from the argument words; names compare by ASCII
// case folding.
#include "app/command_line.h"

#include "download/job_kind.h"
#include "platform/file_name.h"

#include <algorithm>

namespace app {

namespace {

char16_t FoldAscii(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool IsOneOf(const QString& name, const QStringList& words)
{
    return std::any_of(words.begin(), words.end(),
                       [&](const QString& word) { return CommandLine::SameName(name, word); });
}

} // namespace

bool CommandLine::AsciiCaseLess::operator()(const QString& a, const QString& b) const
{
    const qsizetype n = std::min(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ca = FoldAscii(a[i].unicode());
        const char16_t cb = FoldAscii(b[i].unicode());
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

void CommandLine::Parse(const QStringList& words)
{
    m_flags.clear();
    m_values.clear();
    m_plain.clear();
    for (const QString& word : words) {
        QString option;
        if (word.startsWith(u"--")) {
            option = word.mid(2);
        } else if (word.startsWith(u'/')) {
            option = word.mid(1);
            const QString name = option.section(u'=', 0, 0);
            if (!IsFlagWord(name) && !IsValueWord(name)) {
                m_plain << word;
                continue;
            }
        } else {
            // Single-dash words (Qt's own options among them) are not read.
            if (!word.isEmpty() && !word.startsWith(u'-'))
                m_plain << word;
            continue;
        }
        if (option.isEmpty())
            continue;
        const qsizetype equals = option.indexOf(u'=');
        if (equals >= 0)
            m_values.insert_or_assign(option.left(equals), option.mid(equals + 1));
        else
            m_flags.insert_or_assign(option, true);
    }
}

bool CommandLine::IsFlagWord(const QString& name)
{
    static const QStringList kFlags = {QStringLiteral("update"), QStringLiteral("help"),
                                       QStringLiteral("version")};
    return IsOneOf(name, kFlags);
}

bool CommandLine::IsValueWord(const QString& name)
{
    static const QStringList kValueWords = [] {
        QStringList words = {QStringLiteral("player"), QStringLiteral("convert")};
        for (const download::JobKindRow& row : download::kJobKinds)
            words << QString::fromUtf16(row.option.data(),
                                        static_cast<qsizetype>(row.option.size()));
        return words;
    }();
    return IsOneOf(name, kValueWords);
}

bool CommandLine::HasValue(const QString& name) const
{
    return m_values.find(name) != m_values.end();
}

QString CommandLine::GetValue(const QString& name) const
{
    const auto it = m_values.find(name);
    return it == m_values.end() ? QString() : it->second;
}

bool CommandLine::GetFlag(const QString& name) const
{
    const auto it = m_flags.find(name);
    return it != m_flags.end() && it->second;
}

bool CommandLine::SameName(const QString& a, const QString& b)
{
    const AsciiCaseLess less;
    return !less(a, b) && !less(b, a);
}

QStringList CommandLine::FlagNames() const
{
    QStringList names;
    for (const auto& [name, set] : m_flags)
        names << name;
    return names;
}

QStringList CommandLine::ValueNames() const
{
    QStringList names;
    for (const auto& [name, value] : m_values)
        names << name;
    return names;
}

QStringList CommandLine::WordsFromArgv(int argc, const char* const* argv)
{
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words.push_back(platform::DecodeFileName(argv[i]));
    return words;
}

} // namespace app
