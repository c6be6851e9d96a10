// Removing a file only when it is one the program could have made: a regular file of this user's.
#pragma once

namespace platform {

enum class RemoveOwnResult { Removed, Missing, NotOwn, Failed };

// Removes path when it is a regular file owned by the effective user. A symbolic link is neither
// followed nor removed, and nor is anything that is not a regular file (NotOwn).
RemoveOwnResult RemoveOwnRegularFile(const char* path);

} // namespace platform
