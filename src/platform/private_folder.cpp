// The private folder on Linux: mkdirat, the lock file of file_system.h, renameat2 with
// RENAME_NOREPLACE (link and unlink where the file system lacks it), and the removal of folders
// whose lock nobody holds.
#include "platform/private_folder.h"

#include "platform/file_name.h"
#include "platform/file_system.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kNameAttempts = 100;
constexpr int kHexDigits = 8;

// Held locked in the folder while it is in use; see HoldNewLockFile.
constexpr char kLockFileName[] = ".lock";

// The system's reason for errno, as the folder's failures give it.
Unexpected<Error> SystemFailure(int code)
{
    return Fail(QString::fromStdString(std::generic_category().message(code)), code);
}

bool IsOurName(const QString& name, const QByteArray& prefix)
{
    const QString start = QString::fromLatin1(prefix);
    if (name.size() != start.size() + kHexDigits || !name.startsWith(start))
        return false;
    for (const QChar c : QStringView(name).mid(start.size())) {
        if (c.unicode() > 0x7F || !std::isxdigit(c.unicode()))
            return false;
    }
    return true;
}

QByteArray NewName(const QByteArray& prefix)
{
    static thread_local std::mt19937 random{std::random_device{}()};
    char digits[kHexDigits + 1];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(random()));
    return prefix + digits;
}

} // namespace

Expected<PrivateFolder> PrivateFolder::Make(const QString& parentPath, const QByteArray& prefix)
{
    UniqueFd parent(
        open(EncodeFileName(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent)
        return SystemFailure(errno);
    // The folders of runs that have ended: a live run holds its folder's lock.
    RemoveUnlockedDirectories(
        parentPath, [&prefix](const QString& name) { return IsOurName(name, prefix); },
        kLockFileName);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = NewName(prefix);
        if (mkdirat(parent.Get(), name.constData(), 0700) != 0) {
            if (errno == EEXIST)
                continue;
            return SystemFailure(errno);
        }
        UniqueFd self(openat(parent.Get(), name.constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!self)
            return SystemFailure(errno);
        fchmod(self.Get(), 0700); // the umask may have narrowed it
        const QString path = parentPath + u'/' + DecodeFileName(name);
        // Without a lock the folder is never taken for one a killed run left.
        UniqueFd lock = HoldNewLockFile(path, kLockFileName);
        return PrivateFolder(path, name, std::move(parent), std::move(self), std::move(lock));
    }
    return SystemFailure(EEXIST);
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
