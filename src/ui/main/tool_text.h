// Reads the bytes a tool wrote: text for the log box, and the progress a line reports.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace ui {

// UTF-8, except that a byte which is not part of a valid UTF-8 sequence stands for its
// Latin-1 character: text in a single-byte encoding still reads as words, and nothing is lost.
QString DecodeToolText(const QByteArray& bytes);

// The percent at the start of a progress line ("  42.3% of 3.45MiB at ..."), in thousandths;
// nullopt for any other line.
std::optional<std::int32_t> ProgressOf(const QByteArray& text);

} // namespace ui
