// The version record in the executable and the reader that finds it in any file.
#include "test_env.h"
#include "update/update_version.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using namespace update;

// A record as the layout describes it, built here independently of the program's own.
QByteArray Record(std::array<std::uint16_t, 4> version, bool goodCheck = true)
{
    QByteArray record("VndrlVer");
    for (std::uint16_t part : version)
        record += char(part & 0xFF), record += char(part >> 8);
    for (std::uint16_t part : version) {
        const auto inverted = static_cast<std::uint16_t>(goodCheck ? ~part : ~part ^ 1);
        record += char(inverted & 0xFF), record += char(inverted >> 8);
    }
    return record;
}

QByteArray Junk(qsizetype size)
{
    QByteArray junk(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        junk[i] = char((i * 131 + 7) % 251);
    return junk;
}

TEST(FileVersion, FoundAnywhereInAFileAndOnlyWhenWhole)
{
    const qsizetype block = 64 * 1024;
    struct {
        const char* name;
        QByteArray content;
        const char* expected;
    } const cases[] = {
        {"no record", Junk(200000), "<none>"},
        {"record at an odd offset", Junk(4097) + Record({2, 3, 40000, 5}) + Junk(5000),
         "2.3.40000.5"},
        {"record across a block boundary", Junk(block - 11) + Record({7, 0, 0, 9}) + Junk(100),
         "7.0.0.9"},
        {"record ending at a block end and the file's end",
         Junk(block - 24) + Record({65535, 0, 1, 65534}), "65535.0.1.65534"},
        {"record cut short by the end of the file", Junk(300) + Record({1, 0, 0, 1}).left(20),
         "<none>"},
        {"signature with a wrong check", Junk(300) + Record({1, 0, 0, 1}, false) + Junk(50),
         "<none>"},
        {"signature overlapping a record", "VndrlVe" + Record({8, 8, 0, 1}), "8.8.0.1"},
    };
    for (const auto& c : cases) {
        const QString path = testenv::Home() + "/versioned.bin";
        ASSERT_TRUE(testenv::WriteFile(path, c.content));
        EXPECT_EQ(ReadFileVersion(path).value_or("<none>"), QString::fromLatin1(c.expected)) << c.name;
    }
}

} // namespace
