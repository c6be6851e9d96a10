// The archive extraction on archives written by the tests: members that must not be written.
// The carried payload's extraction is the end-to-end case.
#include "app/archive_extraction.h"
#include "test_env.h"
#include "zip_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

namespace {

using ziptest::Member;

class ArchiveExtractionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_dest)); }

    // Writes the archive and extracts it; true when every member was written.
    bool Extract(const std::vector<Member>& members)
    {
        const QString path = m_root.filePath("a.zip");
        QFile::remove(path);
        EXPECT_TRUE(ziptest::WriteZip(path, members));
        const platform::Expected<void> extracted = app::ExtractArchive(path, m_dest);
        return extracted.has_value();
    }

    QString Dest(const QString& name) const { return m_dest + u'/' + name; }
    QByteArray Read(const QString& name) const { return testenv::ReadFile(Dest(name)); }

    QTemporaryDir m_root;
    const QString m_dest = m_root.filePath("dest");
};

// Members that must not be written are skipped and the rest is extracted: names that leave the
// destination, names the 256-byte name buffer would cut (into another file, or behind a slash
// into a directory), and a file a directory is in the way of.
TEST_F(ArchiveExtractionTest, SkipsMembersThatMustNotBeWritten)
{
    const QByteArray part(63, 'p');
    const QByteArray rows[] = {
        "sub\\..\\..\\evil.txt",
        "../evildir/",
        QFile::encodeName(m_root.filePath("abs.txt")),
        "C:evil.txt",
        part + '/' + part + '/' + part + '/' + part + "/file.txt",
        QByteArray(255, 'd') + "/file.txt",
        "blocked",
    };
    for (const QByteArray& stored : rows) {
        SCOPED_TRACE(stored.left(40).toStdString());
        QDir(m_dest).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Dest("blocked")));
        EXPECT_FALSE(Extract({{stored, "evil"}, {"good.txt", "good"}}));
        EXPECT_EQ(QDir(m_dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  (QStringList{"blocked", "good.txt"}));
        EXPECT_TRUE(QDir(Dest("blocked")).isEmpty());
        EXPECT_EQ(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"a.zip", "dest"}))
            << "nothing outside the destination";
    }
    // A name of exactly 256 bytes fits.
    const QByteArray fits = part + '/' + part + '/' + part + '/' + QByteArray(64, 'f');
    EXPECT_TRUE(Extract({{fits, "fits"}}));
    EXPECT_EQ(Read(QString::fromLatin1(fits)), "fits");
}

// A link member is not made, and a link already in the destination is not written through,
// whether it names a file or a directory.
TEST_F(ArchiveExtractionTest, LinksAreNeitherMadeNorFollowed)
{
    const QString target = m_root.filePath("target.txt");
    ASSERT_TRUE(testenv::WriteFile(target, "precious"));
    const QString outside = m_root.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(target, Dest("a.txt")));
    ASSERT_TRUE(QFile::link(outside, Dest("sub")));
    EXPECT_FALSE(Extract({{"link", QFile::encodeName(target), 0120777},
                          {"link", "a plain file of that name", 0100644},
                          {"a.txt", "evil"},
                          {"sub/x.txt", "x"},
                          {"sub/deeper/y.txt", "y"},
                          {"sub/newdir/", ""},
                          {"fine.txt", "fine"}}));
    EXPECT_EQ(testenv::ReadFile(target), "precious");
    EXPECT_FALSE(QFileInfo(Dest("link")).isSymLink());
    EXPECT_EQ(Read("link"), "a plain file of that name");
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_EQ(Read("fine.txt"), "fine");
}

std::uint32_t Crc(const QByteArray& data)
{
    return crc32(0, reinterpret_cast<const Bytef*>(data.constData()), data.size());
}

// Deflated without the zlib wrapper, as zip members are: qCompress's stream without its length,
// zlib header and checksum.
QByteArray RawDeflate(const QByteArray& data)
{
    return qCompress(data).mid(6).chopped(4);
}

// Data is written only when it matches its headers' size and checksum; data that cannot be
// checked against them (a method zlib cannot inflate, data shorter than its stored size) fails
// like a checksum error: no file, and the extraction stops.
TEST_F(ArchiveExtractionTest, MembersAreWrittenOnlyWhenTheirDataMatchesTheirHeaders)
{
    const QByteArray text = "plain text that a method it cannot inflate would pass on as it is";
    const auto size = static_cast<std::uint64_t>(text.size());
    QByteArray damaged = RawDeflate(text.repeated(50));
    for (int i = 0; i < 8; ++i)
        damaged[i] = static_cast<char>(damaged[i] ^ 0x5A);
    struct Row {
        const char* name;
        int method;
        QByteArray stored;  // the member's data as it is in the archive
        QByteArray content; // what it holds: its checksum is the stored one
        std::uint64_t storedSize;
        bool written;
    } const rows[] = {
        {"deflated, matching", 8, RawDeflate(text), text, size, true},
        {"damaged deflated data", 8, damaged, text.repeated(50), size * 50, false},
        // minizip reads bzip2 data out as it is stored and checks no checksum.
        {"bzip2 method over plain data", 12, text, text, size, false},
        // minizip checks the checksum only of data that reaches the stored size.
        {"stored data shorter than its size", 0, text, text, size + 100, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(m_dest).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dest));
        Member member{"member.bin", row.stored};
        member.raw = ziptest::RawHeaders{row.method, row.storedSize, Crc(row.content)};
        EXPECT_EQ(Extract({{"before.txt", "before"}, member, {"after.txt", "after"}}), row.written);
        EXPECT_EQ(Read("before.txt"), "before");
        EXPECT_EQ(QFileInfo::exists(Dest("member.bin")), row.written);
        EXPECT_EQ(QFileInfo::exists(Dest("after.txt")), row.written);
        if (row.written) {
            EXPECT_EQ(Read("member.bin"), row.content);
        }
    }
}

} // namespace
