// The run's private workspace under the temporary directory (platform/temp_file_name.h), and
// the tool payload that the program carries at the end of its own file.
#pragma once

#include "platform/expected.h"
#include "platform/unique_fd.h"

#include <QString>

#include <functional>

namespace app {

// A run's workspace, and the lock on its lock file that marks the run as alive for as long as
// this object (or the process) lives, so that a later start never takes it for a workspace
// that a killed run left behind.
struct Workspace {
    QString path;
    platform::UniqueFd lock;
};

// Makes a new workspace directory "vnd%08x-%08x" in the temporary directory, with its lock. The
// directory is new and private (mode 0700): a name that exists already is never used. A lock
// that cannot be made leaves the run without one (its workspace is then never taken for one
// left behind). The failure names the temporary directory and the reason.
platform::Expected<Workspace> CreateWorkspace();
// The same in directory, with names from nextName (an empty name gives up).
platform::Expected<Workspace> CreateWorkspace(const QString& directory,
                                              const std::function<QString()>& nextName);
// Removes the workspaces in directory that runs which ended without removing them (killed)
// left behind: those whose lock nobody holds. A live run's workspace, one without a lock file
// (made by an older version, or a run between making it and locking it) and anything that is
// not a workspace of this user are left alone. The number removed.
int RemoveEndedWorkspaces(const QString& directory);
// Unpacks the tools carried in the program's own file into the workspace. The current
// directory never changes. Fails when the file carries no payload or any member of it could not
// be written whole (a damaged payload: a member failing its checksum).
platform::Expected<void> ExtractToolPayload(const QString& workspace);
// The same with the payload of programFile.
platform::Expected<void> ExtractToolPayload(const QString& workspace, const QString& programFile);
// Removes a directory and everything in it, never following a symbolic link.
void RemoveDirectoryTree(const QString& directory);

} // namespace app
