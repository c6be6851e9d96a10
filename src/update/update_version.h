// The program's version: a small record that the build places in the executable, and the reader
// that finds such a record in any file (Linux executables have no version resource).
#pragma once

#include <QString>

#include <optional>

namespace update {

// The version carried by the file at path as "major.minor.build.revision"; nothing when the file
// cannot be read or carries no version record.
std::optional<QString> ReadFileVersion(const QString& path);

} // namespace update
