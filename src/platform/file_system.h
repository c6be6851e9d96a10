// File-system calls that must not follow symbolic links or that set what Qt cannot: private
// directories, exclusive creation, file modes and times, and removal of a whole tree.
#pragma once

#include "platform/expected.h"
#include "platform/unique_fd.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace platform {

// Which file a name stands for: its device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Creates the directory with mode 0700 (not widened or narrowed by the umask): 0 or -errno.
// -EEXIST when anything of that name exists already, a symbolic link included: it is never
// reused.
int MakePrivateDirectory(const QString& path);

// The functions below that take base read a relative path from that open directory, so
// extraction writes into its destination without changing the process's current directory under
// its other threads.

// A directory opened for the *at calls; invalid when path is not a directory.
UniqueFd OpenDirectory(const char* path);
// mkdir with mode 0777 less the umask: 0 or -errno.
int MakeDirectory(const char* path, int base);

// Opens a file for writing, created with mode 0600 or truncated when it exists; fails (invalid
// descriptor) when the last part of the path is a symbolic link.
UniqueFd CreateFileForWriting(const char* path, int base);
// Opens a file for reading by its name's bytes (EncodeFileName), so a name that is not UTF-8
// opens too; invalid when it cannot be opened.
UniqueFd OpenForReading(const QString& path);
// Writes everything, retrying short writes; the number of bytes written.
std::size_t WriteFully(int fd, const void* data, std::size_t size);
// Sets the permission bits and the modification time (seconds since 1970); the access time
// stays as it was.
bool SetModeAndModificationTime(int fd, unsigned mode,
                                std::optional<std::int64_t> modificationTime);
// True when a part of path that exists is a symbolic link (every part is looked at, the last
// one too). Extraction refuses such paths so that a link cannot carry a file elsewhere.
bool PathHasSymbolicLink(const char* path, int base);
// Removes a file or link (never a directory), not following a link.
bool RemoveFile(const char* path, int base);

// Makes a directory and whatever is missing of its parents (mode 0777 less the umask), then
// checks that the path is a directory (a link to one will do) that this process may write
// into. Fails with the system's reason for what went wrong (ENOTDIR, EACCES, ...).
Expected<void> MakeWritableDirectory(const QString& path);
// The identity of path when it is a regular file and not a symbolic link.
std::optional<FileIdentity> RegularFileIdentity(const QString& path);
// Seconds since 1970 of a broken-down local time; nothing when there is no such time.
std::optional<std::int64_t> LocalTimeToUnix(int year, int month, int day, int hour, int minute,
                                            int second);

// Removes a directory with everything in it. Symbolic links are removed, never followed; what
// cannot be removed is left behind. A path that is not a directory is left alone. The walk
// holds a fixed number of descriptors whatever the depth of the tree.
void RemoveTree(const QString& path);
// The same for path read from the open directory base.
void RemoveTreeAt(int base, const char* path);

// Makes the file name (mode 0600) in an existing directory and holds an exclusive lock (flock)
// on it through the returned descriptor (close-on-exec), until that is closed or the process
// ends in any way. The file appears under its name already locked. Invalid when it could not
// be made.
UniqueFd HoldNewLockFile(const QString& directory, const char* name);
// Removes, like RemoveTree, each directory in directory whose name accept takes, that is no
// link, belongs to this user, and holds a regular file lockName that nobody holds a lock on.
// The lock is held during the removal. Everything else is left alone, a directory without
// that file too. The number removed.
int RemoveUnlockedDirectories(const QString& directory,
                              const std::function<bool(const QString& name)>& accept,
                              const char* lockName);

} // namespace platform
