// The program's command-line options: "/name=value" or "--name=value" become valued options,
// "/name" or "--name" flags. Names compare without regard to the case of ASCII A-Z.
#pragma once

#include <QString>
#include <QStringList>

#include <map>

namespace app {

class CommandLine {
public:
    // Clears both tables and fills them from the argument words (without the program path).
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

    // Argument words as the process received them, without argv[0], decoded as file names:
    // platform::EncodeFileName gives back the exact bytes, also of a word that is not UTF-8.
    static QStringList WordsFromArgv(int argc, const char* const* argv);

private:
    struct AsciiCaseLess {
        bool operator()(const QString& a, const QString& b) const;
    };
    std::map<QString, bool, AsciiCaseLess> m_flags;
    std::map<QString, QString, AsciiCaseLess> m_values;
};

} // namespace app
