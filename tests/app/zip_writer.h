// Test helper: writes zip archives with chosen member names, times, modes and data through
// minizip's writer, so that tests can craft what a real zip tool would refuse to make.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace ziptest {

struct Member {
    QByteArray name;
    QByteArray data;
    unsigned unixMode = 0; // 0: stored without Unix attributes (as by a DOS/Windows tool)
    // Stored date and time, local.
    int year = 2021, month = 3, day = 4, hour = 10, minute = 30, second = 0;
};

bool WriteZip(const QString& path, const std::vector<Member>& members);
QByteArray MakeZip(const std::vector<Member>& members);

} // namespace ziptest
