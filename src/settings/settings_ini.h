// The general section of an INI settings file, read and changed in place. The syntax and the
// escaping are those of QSettings' INI format, so files written by QSettings read the same; a
// change rewrites one line and keeps every other byte of the file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

namespace settings::ini {

// The value of name in the general section: the lines before the first section header and those
// of every [General] section; of several lines with that name the last wins. The value is read
// as text: commas are part of it, and bytes that are not UTF-8 are kept (platform/file_name.h),
// so writing the text back gives the same bytes. nullopt when the name has no line.
std::optional<QString> ReadGeneralValue(QByteArrayView file, QStringView name);

// The file with name set to value: the line ReadGeneralValue reads is replaced; without one, a
// line is added to the last [General] section (or after the last line of the general section,
// or in a new [General] section at the end). Nothing else in the file changes.
QByteArray SetGeneralValue(QByteArrayView file, QStringView name, QStringView value);

// "name=value" as QSettings writes it (without the line end).
QByteArray FormatLine(QStringView name, QStringView value);

} // namespace settings::ini
