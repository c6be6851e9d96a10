// The run's private workspace under the temporary directory, the tool payload that the program
// carries at the end of its own file, and unique temporary file names.
#pragma once

#include <QString>

#include <functional>

// Makes a new workspace directory "vnd%08x-%08x" in the temporary directory; its path, or an
// empty string when none could be made. The directory is new and private (mode 0700): a name
// that exists already is never used.
QString CreateWorkspace();
// The same in directory, with names from nextName (an empty name gives up).
QString CreateWorkspace(const QString& directory, const std::function<QString()>& nextName);
// A new path "vnd%08x-%08x.tmp" in directory (the temporary directory when empty); with an
// extension (".exe") it replaces ".tmp". The file is not created. No two calls in one process
// return the same name.
QString MakeTempFileName(const QString& extension = {}, const QString& directory = {});
// Unpacks the tools carried in the program's own file into the workspace. The current
// directory is the same afterwards as before.
bool ExtractToolPayload(const QString& workspace);
// The same with the payload of programFile.
bool ExtractToolPayload(const QString& workspace, const QString& programFile);
// Removes a directory and everything in it, never following a symbolic link.
void RemoveDirectoryTree(const QString& directory);
