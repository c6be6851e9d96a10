// Unpacking a zip archive into a folder, with every member checked before and after it is
// written.
#pragma once

#include "platform/expected.h"

#include <QString>

namespace app {

// Writes the members of the zip archive at archivePath into the existing folder destination,
// with their stored paths and Unix modes, replacing files of the same names. Names are resolved
// from the destination's descriptor: the process's current directory never changes. A member is
// not written when its name leaves the destination (absolute, a drive prefix, a ".." part),
// goes through or is a symbolic link, is longer than the 256-byte name buffer or holds a zero
// byte, or a directory is in its way; the others are still written. A member whose data cannot
// be read, is not stored or deflated, is encrypted, or does not match its stored size and
// checksum leaves no file and ends the extraction. Fails, with the first reason, when the
// archive or the destination cannot be opened or any member was not written whole.
platform::Expected<void> ExtractArchive(const QString& archivePath, const QString& destination);

} // namespace app
