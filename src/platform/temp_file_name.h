// The user's temporary folder and the program's unique names in it: "vnd%08x-%08x" for a
// workspace, "vnd%08x-%08x.tmp" (or another extension) for a temporary file.
#pragma once

#include <QString>

namespace platform {

// The user's temporary directory: TMPDIR, or /tmp when it is not set, as it is written. Unlike
// QDir::tempPath() it is not resolved, so a TMPDIR that does not exist stays a path that
// fails, instead of becoming "" and with it the root directory.
QString TemporaryDirectory();
// "vnd%08x-%08x": seconds since 1970, then the millisecond tick. Within one process a name is
// never handed out twice: when the clock has not moved on, the tick field counts on.
QString NewTempName();
// Whether name has the form of NewTempName's names.
bool IsTempName(const QString& name);
// A new path "vnd%08x-%08x.tmp" in directory (the temporary directory when empty); with an
// extension (".exe") it replaces ".tmp". The file is not created.
QString MakeTempFileName(const QString& extension = {}, const QString& directory = {});

} // namespace platform
