// The run's private workspace under the temporary directory (platform/temp_file_name.h), and
// the tool payload that the program carries at the end of its own file.
#pragma once

#include <QString>

#include <functional>

// Makes a new workspace directory "vnd%08x-%08x" in the temporary directory; its path, or an
// empty string when none could be made, after one line on standard error that names the
// temporary directory and the reason. The directory is new and private (mode 0700): a name
// that exists already is never used.
QString CreateWorkspace();
// The same in directory, with names from nextName (an empty name gives up), silently.
QString CreateWorkspace(const QString& directory, const std::function<QString()>& nextName);
// Unpacks the tools carried in the program's own file into the workspace. The current
// directory is the same afterwards as before. False when the file carries no payload or any
// member of it could not be written whole (a damaged payload: a member failing its checksum).
bool ExtractToolPayload(const QString& workspace);
// The same with the payload of programFile.
bool ExtractToolPayload(const QString& workspace, const QString& programFile);
// Removes a directory and everything in it, never following a symbolic link.
void RemoveDirectoryTree(const QString& directory);
