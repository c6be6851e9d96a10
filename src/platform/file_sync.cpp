// fsync of a file and of a folder, retried on EINTR.
#include "platform/file_sync.h"

#include "platform/file_name.h"

#include "platform/unique_fd.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool SyncFile(int fd)
{
    int result = 0;
    do
        result = ::fsync(fd);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

bool SyncDirectory(const QString& path)
{
    const UniqueFd dir(
        ::open(platform::EncodeFileName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.IsValid() && SyncFile(dir.Get());
}

} // namespace platform
