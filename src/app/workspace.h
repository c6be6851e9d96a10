// The run's private workspace under the temporary directory, the tool payload that the program
// carries at the end of its own file, and unique temporary file names.
#pragma once

#include <QString>

// Makes a new workspace directory "vnd%08x-%08x" in the temporary directory; its path, or an
// empty string when none could be made.
QString CreateWorkspace();
// A new path "vnd%08x-%08x.tmp" in directory (the temporary directory when empty); with an
// extension (".exe") it replaces ".tmp". The file is not created.
QString MakeTempFileName(const QString& extension = {}, const QString& directory = {});
// Unpacks the tools carried in the program's own file into the workspace.
bool ExtractToolPayload(const QString& workspace);
// Removes a directory and everything in it.
void RemoveDirectoryTree(const QString& directory);
