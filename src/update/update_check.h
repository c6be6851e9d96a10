// The check made at every start: without the settings key and its "AffID" the program does
// not start; on a day other than the recorded "LastUpdate" the update server is asked.
#pragma once

#include "update/update_check_result.h"
#include "update/update_window.h"

#include <QDateTime>
#include <QString>

#include <functional>

namespace update {

struct UpdateCheckOptions {
    // The program file whose version is reported; empty: the running executable.
    QString programFile;
    UpdateJobOptions job;
    // Empty: the real message box.
    AskToUpdateFunction askToUpdate;
    // Makes the application the window needs, just before it shows; false when the display
    // cannot be opened (the run then ends, and the day is not recorded). Empty: an application
    // that exists is used, and without one the check ends as without a display.
    std::function<bool()> openApplication;
};

// localNow is the local date and time (tests control the clock through it). First of all it
// removes the installers an earlier start launched (update_installers.h).
UpdateCheckResult CheckForUpdate(const QDateTime& localNow, const UpdateCheckOptions& options = {});

// "LastUpdate"'s form of a local date: year, month and day as "%d%02d%02d".
QString FormatUpdateDate(const QDate& date);
// The local date and time taken field by field, without any time-zone conversion, as a count
// of 100-nanosecond intervals since 1601-01-01 00:00 (negative before it).
qint64 UpdateTimeStamp(const QDateTime& localNow);
// The update server's scheme and host: VANDREL_UPDATE_SERVER from the environment when set,
// else the address the build was configured with. Trailing slashes are dropped.
QString UpdateServerBase();
// base + "/version/<affId>/<ownVersion>?rnd=<timeStamp>"; the two texts are percent-encoded so
// each stays one path segment.
QString MakeUpdateAddress(const QString& base, const QString& affId, const QString& ownVersion,
                          qint64 timeStamp);

} // namespace update
