// Making written data durable: what a rename over an old file needs before and after it.
#pragma once

#include <QString>

namespace platform {

// fsync: the file's data and size reach the disk. False on an error.
bool SyncFile(int fd);
// fsync of the folder, so that a rename made in it survives a crash. False on an error.
bool SyncDirectory(const QString& path);

} // namespace platform
