// The program's command line: "/name=value" or "--name=value" become valued options, "/name" or
// "--name" flags, and the other words plain words (addresses and files). Names compare without
// regard to the case of ASCII A-Z.
#pragma once

#include <QString>
#include <QStringList>

#include <map>

namespace app {

class CommandLine {
public:
    // Clears the tables and fills them from the argument words (without the program path). A
    // word with two dashes is always an option; one with a slash only when its name is a word
    // the program reads, since otherwise it is an absolute path. Single-dash and empty words
    // are neither.
    void Parse(const QStringList& words);

    bool HasValue(const QString& name) const;
    // The value of a valued option; empty when the name is absent.
    QString GetValue(const QString& name) const;
    // True when the flag was given.
    bool GetFlag(const QString& name) const;
    // True when two names are the same option (ASCII A-Z in either case).
    static bool SameName(const QString& a, const QString& b);
    // The names of all flags given, then of all valued options, each in name order.
    QStringList FlagNames() const;
    QStringList ValueNames() const;
    // The words that are no options, in their order.
    const QStringList& PlainWords() const { return m_plain; }

    // The option words the program reads: flags, and the names that take a value (the job
    // kinds' words among them).
    static bool IsFlagWord(const QString& name);
    static bool IsValueWord(const QString& name);

    // Argument words as the process received them, without argv[0], decoded as file names:
    // platform::EncodeFileName gives back the exact bytes, also of a word that is not UTF-8.
    static QStringList WordsFromArgv(int argc, const char* const* argv);

private:
    struct AsciiCaseLess {
        bool operator()(const QString& a, const QString& b) const;
    };
    std::map<QString, bool, AsciiCaseLess> m_flags;
    std::map<QString, QString, AsciiCaseLess> m_values;
    QStringList m_plain;
};

} // namespace app
