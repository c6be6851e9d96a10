// What the command-line options ask the run to do, decided apart from the run itself.
#pragma once

#include "app/command_line.h"
#include "download/job_kind.h"

#include <QString>
#include <QStringList>

namespace app {

// What the options ask for.
struct StartRequest {
    bool openWindow = true; // false with the "update" flag: only the update check runs
    QString playerFile;
    QString convertValue; // recognised but not acted on: there is no conversion-only start
    QString downloadUrl;
    download::JobKind jobKind = download::JobKind::None;
};

StartRequest DecideRunMode(const CommandLine& options);

// The options given that nothing in the program reads, written as "--name" for a flag and
// "--name=..." for a valued one, so that a mistyped option can be named. They stay ignored.
QStringList UnreadOptions(const CommandLine& options);

// A player file as the user meant it: a relative path is taken relative to startDirectory
// (the folder the program was started from, read once at start).
// A file URL ("file:///...", "file:/...") gives its local path; any other address with a scheme
// ("http://...") and an absolute path stay as they are.
QString PlayerFileFrom(const QString& value, const QString& startDirectory);

} // namespace app
