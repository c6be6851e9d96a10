// Removing one of the user's regular files: the check and the removal both go through one open
// descriptor of its folder.
#include "platform/own_file.h"

#include "platform/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

RemoveOwnResult RemoveOwnRegularFile(const char* path)
{
    // The check and the removal name the same entry of the same open folder, so a folder renamed
    // in between cannot send the removal elsewhere.
    const char* slash = std::strrchr(path, '/');
    const std::string folder = slash ? std::string(path, slash == path ? 1 : slash - path) : ".";
    const char* name = slash ? slash + 1 : path;
    const UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return errno == ENOENT ? RemoveOwnResult::Missing : RemoveOwnResult::Failed;
    struct stat info {};
    if (::fstatat(dir.Get(), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? RemoveOwnResult::Missing : RemoveOwnResult::Failed;
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return RemoveOwnResult::NotOwn;
    if (::unlinkat(dir.Get(), name, 0) != 0)
        return errno == ENOENT ? RemoveOwnResult::Missing : RemoveOwnResult::Failed;
    return RemoveOwnResult::Removed;
}

} // namespace platform
