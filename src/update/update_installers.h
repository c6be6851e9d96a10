// Packages the update check handed to the desktop's package installer, which reads the file after
// the hand-over: so it is recorded, and the next start of the program removes it.
#pragma once

#include <QString>

namespace update {

// The record: Vandrel/launched-installers in the user's data folder ($XDG_DATA_HOME), one
// percent-encoded path a line.
QString LaunchedInstallersFile();

// Adds path to the record. False when the record cannot be written.
bool RecordLaunchedInstaller(const QString& path);

// Removes each recorded package that is still there and is one the program made: a regular file
// (a link is not followed) of this user's, named "vnd%08x-%08x.deb" (or ".exe", the installers
// of earlier versions) directly in the temporary folder. A record of another temporary folder
// (TMPDIR was different) is kept for a start that uses that folder; the others are dropped.
void RemoveLaunchedInstallers();

} // namespace update
