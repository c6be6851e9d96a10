// File names are bytes; the program's text is UTF-16. This mapping keeps every byte string: valid
// UTF-8 reads as its letters, and each byte that is not part of valid UTF-8 reads as the lone
// surrogate U+DC80..U+DCFF, which is written back as that byte. Qt's own QFile::decodeName turns
// such bytes into U+FFFD, so a name read and written back through it names another file.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace platform {

QString DecodeFileName(QByteArrayView bytes);
// Valid text becomes UTF-8; a lone surrogate that DecodeFileName did not make becomes U+FFFD.
QByteArray EncodeFileName(QStringView text);

} // namespace platform
