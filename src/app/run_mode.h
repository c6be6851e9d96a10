// What the command line asks the run to do, decided apart from the run itself.
#pragma once

#include "app/command_line.h"
#include "download/job_kind.h"

#include <QString>
#include <QStringList>

namespace app {

// What the words ask for.
struct StartRequest {
    bool openWindow = true; // false with the "update" flag: only the update check runs
    QString playerFile;     // absolute when the start folder was known, or an address
    QString convertValue;   // recognised but not acted on: there is no conversion-only start
    QString url;            // for the URL field: with a job kind the job starts with it
    download::JobKind jobKind = download::JobKind::None;
    // Words that were not used, each with why: one line each on standard error.
    QStringList notes;
};

// Decides the run from the options and the plain words. startDirectory is the folder the
// program was started from (read once at start), against which relative files are taken.
// Precedence: the update flag; then the first mode option in the order player, convert, the
// job kinds; then the first plain word: an http or https address fills the URL field and starts
// nothing, anything else is a file to play that must exist. Every other plain word is noted.
StartRequest DecideRunMode(const CommandLine& options, const QString& startDirectory);

// The options given that nothing in the program reads, written as "--name" for a flag and
// "--name=..." for a valued one, so that a mistyped option can be named. They stay ignored.
QStringList UnreadOptions(const CommandLine& options);

// A player file as the user meant it: a relative path is taken relative to startDirectory.
// A file URL ("file:///...", "file:/...") gives its local path; any other address with a scheme
// ("http://...") and an absolute path stay as they are.
QString PlayerFileFrom(const QString& value, const QString& startDirectory);

} // namespace app
