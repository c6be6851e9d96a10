// The private folder on Linux: mkdirat and flock on the folder's own descriptor, renameat2 with
// RENAME_NOREPLACE (link and unlink where the file system lacks it), and the removal of folders
// whose lock nobody holds.
#include "platform/private_folder.h"

#include "platform/file_name.h"
#include "platform/file_system.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kNameAttempts = 100;
constexpr int kHexDigits = 8;

bool IsOurName(const char* name, const QByteArray& prefix)
{
    const std::size_t length = std::strlen(name);
    if (length != static_cast<std::size_t>(prefix.size()) + kHexDigits ||
        std::strncmp(name, prefix.constData(), static_cast<std::size_t>(prefix.size())) != 0)
        return false;
    for (const char* c = name + prefix.size(); *c; ++c) {
        if (!std::isxdigit(static_cast<unsigned char>(*c)))
            return false;
    }
    return true;
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens name in parent as a directory, never through a link, and takes its lock if nobody
// holds it.
UniqueFd OpenLocked(int parent, const char* name)
{
    UniqueFd fd(openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd && flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        fd.Close();
    return fd;
}

// A folder of the prefix whose lock can be taken belongs to a run that has ended.
void RemoveAbandoned(int parent, const QByteArray& prefix)
{
    UniqueFd streamFd(openat(parent, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    DIR* dir = streamFd ? fdopendir(streamFd.Get()) : nullptr;
    if (!dir)
        return;
    streamFd.Release(); // the stream owns it now
    while (const dirent* entry = readdir(dir)) {
        if (!IsOurName(entry->d_name, prefix))
            continue;
        struct stat st {};
        if (fstatat(parent, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != geteuid())
            continue;
        const UniqueFd lock = OpenLocked(parent, entry->d_name);
        if (lock)
            RemoveTreeAt(parent, entry->d_name); // still holding its lock
    }
    closedir(dir);
}

QByteArray NewName(const QByteArray& prefix)
{
    static thread_local std::mt19937 random{std::random_device{}()};
    char digits[kHexDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
    return prefix + digits;
}

} // namespace

std::optional<PrivateFolder> PrivateFolder::Make(const QString& parentPath,
                                                 const QByteArray& prefix, int& error)
{
    UniqueFd parent(open(EncodeFileName(parentPath).constData(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent) {
        error = -errno;
        return std::nullopt;
    }
    RemoveAbandoned(parent.Get(), prefix);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = NewName(prefix);
        if (mkdirat(parent.Get(), name.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            error = -errno;
            return std::nullopt;
        }
        // Another start may take the lock of a folder this new before this one does, and
        // remove it: then the name no longer stands for the folder locked here, and another
        // name is tried.
        UniqueFd self = OpenLocked(parent.Get(), name.constData());
        struct stat opened {}, named {};
        if (!self || fstat(self.Get(), &opened) != 0 ||
            fstatat(parent.Get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameFile(opened, named))
            continue;
        fchmod(self.Get(), 0700); // the umask may have narrowed it
        return PrivateFolder(parentPath + u'/' + DecodeFileName(name), name, std::move(parent),
                             std::move(self));
    }
    error = -EEXIST;
    return std::nullopt;
}

PrivateFolder::~PrivateFolder()
{
    if (m_parent && m_self)
        RemoveTreeAt(m_parent.Get(), m_name.constData());
}

std::optional<qint64> PrivateFolder::RegularFileSize(const QByteArray& name) const
{
    struct stat st {};
    if (fstatat(m_self.Get(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<qint64>(st.st_size);
}

QByteArray PrivateFolder::ReadStart(const QByteArray& name, qint64 size) const
{
    // O_NONBLOCK: a fifo put in place of the file must not hold the job.
    const UniqueFd fd(
        openat(m_self.Get(), name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    QByteArray data(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = read(fd.Get(), data.data() + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    data.truncate(done);
    return data;
}

int PrivateFolder::CreateNewFile(const QByteArray& name) const
{
    const UniqueFd fd(openat(m_self.Get(), name.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    return fd ? 0 : -errno;
}

int PrivateFolder::RemoveFile(const QByteArray& name) const
{
    return unlinkat(m_self.Get(), name.constData(), 0) == 0 ? 0 : -errno;
}

int PrivateFolder::MoveOut(const QByteArray& name, const QByteArray& target) const
{
    if (renameat2(m_self.Get(), name.constData(), m_parent.Get(), target.constData(),
                  RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -errno;
    // A file system without the flag: a hard link never replaces a file either.
    if (linkat(m_self.Get(), name.constData(), m_parent.Get(), target.constData(), 0) == 0) {
        unlinkat(m_self.Get(), name.constData(), 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS)
        return -errno;
    // Nor links (FAT behind FUSE, some network shares): a look first, then a plain rename. A
    // file that appears in between could be replaced, but a finished download left here would
    // go with this folder.
    struct stat st {};
    if (fstatat(m_parent.Get(), target.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return -EEXIST;
    if (errno != ENOENT)
        return -errno;
    return renameat(m_self.Get(), name.constData(), m_parent.Get(), target.constData()) == 0
               ? 0
               : -errno;
}

} // namespace platform
