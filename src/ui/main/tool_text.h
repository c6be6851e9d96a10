// Turns the bytes a tool wrote into text for the log box.
#pragma once

#include <QByteArray>
#include <QString>

// UTF-8, except that a byte which is not part of a valid UTF-8 sequence stands for its
// Latin-1 character: text in a single-byte encoding still reads as words, and nothing is lost.
QString DecodeToolText(const QByteArray& bytes);
