// File-system calls that must not follow symbolic links or that set what Qt cannot: private
// directories, exclusive creation, file modes and times, and removal of a whole tree.
#pragma once

#include "platform/unique_fd.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace platform {

enum class MakeDirResult { Created, NameTaken, Failed };

// Creates the directory with mode 0700 (not widened or narrowed by the umask). NameTaken when
// anything of that name exists already, a symbolic link included: it is never reused. On
// Failed, error (when given) receives the system's error code.
MakeDirResult MakePrivateDirectory(const QString& path, int* error = nullptr);

// mkdir with mode 0777 less the umask: 0 or the errno value.
int MakeDirectory(const char* path);

// Opens a file for writing, created with mode 0600 or truncated when it exists; fails (invalid
// descriptor) when the last part of the path is a symbolic link.
UniqueFd CreateFileForWriting(const char* path);
// Writes everything, retrying short writes; the number of bytes written.
std::size_t WriteFully(int fd, const void* data, std::size_t size);
// Sets the permission bits and the modification time (seconds since 1970); the access time
// stays as it was.
bool SetModeAndModificationTime(int fd, unsigned mode, std::int64_t modificationTime);
// True when a part of path that exists is a symbolic link (every part is looked at, the last
// one too). Extraction refuses such paths so that a link cannot carry a file elsewhere.
bool PathHasSymbolicLink(const char* path);
// Removes a file or link (never a directory), not following a link.
bool RemoveFile(const char* path);

bool ChangeDirectory(const char* path);
// Seconds since 1970 of a broken-down local time, or -1 when there is no such time.
std::int64_t LocalTimeToUnix(int year, int month, int day, int hour, int minute, int second);

// Removes a directory with everything in it. Symbolic links are removed, never followed; what
// cannot be removed is left behind. A path that is not a directory is left alone.
void RemoveTree(const QString& path);

} // namespace platform
