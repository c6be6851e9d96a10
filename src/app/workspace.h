// The run's private workspace under the temporary directory, the tool payload that the program
// carries at the end of its own file, and unique temporary file names.
#pragma once

#include <QString>

#include <functional>

// The user's temporary directory: TMPDIR, or /tmp when it is not set, as it is written. Unlike
// QDir::tempPath() it is not resolved, so a TMPDIR that does not exist stays a path that
// fails, instead of becoming "" and with it the root directory.
QString TemporaryDirectory();
// Makes a new workspace directory "vnd%08x-%08x" in the temporary directory; its path, or an
// empty string when none could be made, after one line on standard error that names the
// temporary directory and the reason. The directory is new and private (mode 0700): a name
// that exists already is never used.
QString CreateWorkspace();
// The same in directory, with names from nextName (an empty name gives up), silently; error
// (when given) receives the system's error code of a failed creation, 0 otherwise.
QString CreateWorkspace(const QString& directory, const std::function<QString()>& nextName,
                        int* error = nullptr);
// A new path "vnd%08x-%08x.tmp" in directory (the temporary directory when empty); with an
// extension (".exe") it replaces ".tmp". The file is not created. No two calls in one process
// return the same name.
QString MakeTempFileName(const QString& extension = {}, const QString& directory = {});
// Unpacks the tools carried in the program's own file into the workspace. The current
// directory is the same afterwards as before. False when the file carries no payload or any
// member of it could not be written whole (a damaged payload: a member failing its checksum).
bool ExtractToolPayload(const QString& workspace);
// The same with the payload of programFile.
bool ExtractToolPayload(const QString& workspace, const QString& programFile);
// Removes a directory and everything in it, never following a symbolic link.
void RemoveDirectoryTree(const QString& directory);
