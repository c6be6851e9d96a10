// Test helper: writes zip archives with chosen member names, modes and data through
// minizip's writer, so that tests can craft what a real zip tool would refuse to make.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace ziptest {

// Headers that say what the writer is told, over data stored as it is given.
struct RawHeaders {
    int method = 0; // 0 stored, 8 deflated, 12 bzip2, ...
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
};

struct Member {
    QByteArray name;
    QByteArray data;
    unsigned unixMode = 0; // 0: stored without Unix attributes (as by a DOS/Windows tool)
    std::optional<RawHeaders> raw = std::nullopt; // set: data stored as given, under these headers
};

bool WriteZip(const QString& path, const std::vector<Member>& members);
QByteArray MakeZip(const std::vector<Member>& members);

} // namespace ziptest
