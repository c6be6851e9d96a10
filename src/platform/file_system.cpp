// The file-system calls on POSIX: *at calls that never follow links, O_EXCL creation, and the
// tree removal that holds a fixed number of descriptors.
#include "platform/file_system.h"

#include "platform/file_name.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <system_error>
#include <vector>

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirStream = std::unique_ptr<DIR, DirCloser>;

// The stream takes the descriptor over only when it opens; otherwise fd keeps it and closes it.
DirStream OpenStream(UniqueFd& fd)
{
    DirStream dir(fdopendir(fd.Get()));
    if (dir)
        fd.Release();
    return dir;
}

FileIdentity IdentityOf(const struct stat& st)
{
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

struct IdentityLess {
    bool operator()(const FileIdentity& a, const FileIdentity& b) const
    {
        return a.device != b.device ? a.device < b.device : a.inode < b.inode;
    }
};
using IdentitySet = std::set<FileIdentity, IdentityLess>;

// A subdirectory that could not be removed at once.
struct FullDirectory {
    std::string name;
    FileIdentity identity;
};

// One pass over the directory open as dirFd: removes everything that is not a directory and
// every empty directory, and stops at the first directory that is not empty and not given up
// on yet. removedAny tells whether the pass removed something.
std::optional<FullDirectory> ScanDirectory(int dirFd, const IdentitySet& givenUp, bool& removedAny)
{
    // The stream gets a descriptor of its own, open only during the pass.
    UniqueFd streamFd(openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!streamFd)
        return std::nullopt;
    const DirStream dir = OpenStream(streamFd);
    if (!dir)
        return std::nullopt;
    while (const dirent* entry = readdir(dir.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat st {};
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISDIR(st.st_mode)) {
            if (unlinkat(dirFd, name, 0) == 0)
                removedAny = true;
            continue;
        }
        if (givenUp.count(IdentityOf(st)) != 0)
            continue;
        if (unlinkat(dirFd, name, AT_REMOVEDIR) == 0) {
            removedAny = true;
            continue;
        }
        return FullDirectory{name, IdentityOf(st)};
    }
    return std::nullopt;
}

// Empties the directory open as top. The walk holds one descriptor, not one per level: it
// goes down with openat and back up through "..", which must be the directory it came from
// (a tree moved meanwhile is left alone). Links are never followed. Directories that cannot
// be emptied or removed are given up on, so the walk always ends.
void EmptyTree(UniqueFd top)
{
    struct Level {
        std::string name;
        FileIdentity parent;
        FileIdentity self;
    };
    struct stat st {};
    if (fstat(top.Get(), &st) != 0)
        return;
    UniqueFd current = std::move(top);
    FileIdentity currentId = IdentityOf(st);
    std::vector<Level> path;
    IdentitySet givenUp;
    for (;;) {
        bool removedAny = false;
        if (const std::optional<FullDirectory> next =
                ScanDirectory(current.Get(), givenUp, removedAny)) {
            UniqueFd child(openat(current.Get(), next->name.c_str(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            struct stat childSt {};
            if (!child || fstat(child.Get(), &childSt) != 0 ||
                IdentityOf(childSt) != next->identity) {
                givenUp.insert(next->identity);
                continue;
            }
            path.push_back({next->name, currentId, next->identity});
            current = std::move(child);
            currentId = next->identity;
            continue;
        }
        // Entries removed during a pass may hide others from the stream: look once more.
        if (removedAny)
            continue;
        if (path.empty())
            return;
        const Level level = std::move(path.back());
        path.pop_back();
        UniqueFd parent(
            openat(current.Get(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat parentSt {};
        if (!parent || fstat(parent.Get(), &parentSt) != 0 || IdentityOf(parentSt) != level.parent)
            return;
        current = std::move(parent);
        currentId = level.parent;
        struct stat childSt {};
        if (fstatat(current.Get(), level.name.c_str(), &childSt, AT_SYMLINK_NOFOLLOW) == 0 &&
            IdentityOf(childSt) == level.self &&
            unlinkat(current.Get(), level.name.c_str(), AT_REMOVEDIR) == 0)
            continue;
        givenUp.insert(level.self);
    }
}

} // namespace

int MakePrivateDirectory(const QString& path)
{
    const QByteArray name = platform::EncodeFileName(path);
    if (mkdir(name.constData(), 0700) != 0)
        return -errno;
    // A umask could have taken the owner's bits away; nobody else can have replaced the new
    // directory, so setting the mode by name is safe.
    chmod(name.constData(), 0700);
    return 0;
}

UniqueFd OpenDirectory(const char* path)
{
    return UniqueFd(open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

int MakeDirectory(const char* path, int base)
{
    return mkdirat(base, path, 0777) == 0 ? 0 : -errno;
}

UniqueFd CreateFileForWriting(const char* path, int base)
{
    return UniqueFd(
        openat(base, path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
}

UniqueFd OpenForReading(const QString& path)
{
    // Non-blocking: a fifo under a video's name must not hold the caller until a writer comes.
    return UniqueFd(
        open(platform::EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
}

std::size_t WriteFully(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

bool SetModeAndModificationTime(int fd, unsigned mode, std::optional<std::int64_t> modificationTime)
{
    const bool modeSet = fchmod(fd, static_cast<mode_t>(mode & 07777)) == 0;
    if (!modificationTime)
        return modeSet; // the time of the write stays
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(*modificationTime);
    return modeSet && futimens(fd, times) == 0;
}

bool PathHasSymbolicLink(const char* path, int base)
{
    const std::string full = path;
    for (std::size_t end = full.find('/', 1);; end = full.find('/', end + 1)) {
        const std::string part = full.substr(0, end);
        struct stat st {};
        if (!part.empty() && fstatat(base, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return false; // missing from here on: nothing below can be a link yet
        if (!part.empty() && S_ISLNK(st.st_mode))
            return true;
        if (end == std::string::npos)
            return false;
    }
}

bool RemoveFile(const char* path, int base)
{
    return unlinkat(base, path, 0) == 0;
}

std::optional<std::int64_t> LocalTimeToUnix(int year, int month, int day, int hour, int minute,
                                            int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1; // whatever daylight saving time was in force on that day
    const std::time_t t = std::mktime(&tm);
    if (t == static_cast<std::time_t>(-1))
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

Expected<void> MakeWritableDirectory(const QString& path)
{
    const auto failure = [](int code) {
        return Fail(QString::fromStdString(std::generic_category().message(code)), code);
    };
    const std::string name = platform::EncodeFileName(path).toStdString();
    if (name.empty())
        return failure(ENOENT);
    // Each prefix that ends before a slash, then the whole path.
    for (std::size_t slash = name.find('/', 1);; slash = name.find('/', slash + 1)) {
        const std::string part = name.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return failure(errno);
        if (slash == std::string::npos)
            break;
    }
    struct stat st {};
    if (stat(name.c_str(), &st) != 0)
        return failure(errno);
    if (!S_ISDIR(st.st_mode))
        return failure(ENOTDIR);
    if (access(name.c_str(), W_OK | X_OK) != 0)
        return failure(errno);
    return {};
}

std::optional<FileIdentity> RegularFileIdentity(const QString& path)
{
    struct stat st {};
    if (lstat(platform::EncodeFileName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev),
                        static_cast<std::uint64_t>(st.st_ino)};
}

void RemoveTree(const QString& path)
{
    RemoveTreeAt(AT_FDCWD, platform::EncodeFileName(path).constData());
}

void RemoveTreeAt(int base, const char* path)
{
    UniqueFd dir(openat(base, path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat st {};
    if (!dir || fstat(dir.Get(), &st) != 0)
        return;
    const FileIdentity identity = IdentityOf(st);
    EmptyTree(std::move(dir));
    // Only the directory that was emptied is removed, not one put in its place meanwhile.
    struct stat now {};
    if (fstatat(base, path, &now, AT_SYMLINK_NOFOLLOW) == 0 && IdentityOf(now) == identity)
        unlinkat(base, path, AT_REMOVEDIR);
}

UniqueFd HoldNewLockFile(const QString& directory, const char* name)
{
    UniqueFd dir(open(platform::EncodeFileName(directory).constData(),
                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir)
        return {};
    // Locked under a name of its own first: a file under the final name that nobody holds
    // would be taken for one whose holder has ended.
    const std::string fresh = std::string(name) + ".new";
    UniqueFd lock(openat(dir.Get(), fresh.c_str(),
                         O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!lock)
        return {};
    if (fchmod(lock.Get(), 0600) != 0 || flock(lock.Get(), LOCK_EX | LOCK_NB) != 0 ||
        renameat(dir.Get(), fresh.c_str(), dir.Get(), name) != 0) {
        unlinkat(dir.Get(), fresh.c_str(), 0);
        return {};
    }
    return lock;
}

int RemoveUnlockedDirectories(const QString& directory,
                              const std::function<bool(const QString& name)>& accept,
                              const char* lockName)
{
    UniqueFd parent(
        open(platform::EncodeFileName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return 0;
    // The names first: the removals below change the directory under a stream.
    std::vector<std::string> names;
    {
        UniqueFd streamFd(openat(parent.Get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const DirStream dir = OpenStream(streamFd);
        if (!dir)
            return 0;
        while (const dirent* entry = readdir(dir.get())) {
            if ((entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN) &&
                accept(platform::DecodeFileName(QByteArrayView(entry->d_name))))
                names.emplace_back(entry->d_name);
        }
    }
    int removed = 0;
    for (const std::string& name : names) {
        UniqueFd dir(
            openat(parent.Get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!dir || fstat(dir.Get(), &st) != 0 || st.st_uid != geteuid())
            continue;
        // Non-blocking, so that a fifo of that name cannot hold the start up.
        UniqueFd lock(openat(dir.Get(), lockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat lockSt {};
        if (!lock || fstat(lock.Get(), &lockSt) != 0 || !S_ISREG(lockSt.st_mode) ||
            flock(lock.Get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        EmptyTree(std::move(dir));
        // Only the directory that was emptied, not one put in its place meanwhile.
        struct stat now {};
        if (fstatat(parent.Get(), name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            IdentityOf(now) == IdentityOf(st) &&
            unlinkat(parent.Get(), name.c_str(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    return removed;
}

} // namespace platform
