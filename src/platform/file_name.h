// File names as the system holds them (bytes) and as the program holds them (QString), with
// nothing lost on the way. Qt decodes names as UTF-8 and turns every byte that is not valid
// UTF-8 into U+FFFD, so a name such as "Vid\xe9o.flv" (Latin-1) would come back as another
// name. Here such a byte becomes the lone surrogate U+DC80 + its value (as Python's
// "surrogateescape" does), which EncodeFileName turns back into the byte. Valid UTF-8 decodes
// exactly as QFile::decodeName decodes it.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

QString DecodeFileName(QByteArrayView bytes);
// The bytes DecodeFileName was given; for a name without escaped bytes, QFile::encodeName.
QByteArray EncodeFileName(const QString& name);

// The process's current directory, decoded as above; empty when it cannot be read (it was
// removed, or its path is too long).
QString CurrentDirectory();

} // namespace platform
