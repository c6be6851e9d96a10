// The zip extraction driver on archives written by the tests: argument rules, results,
// directories, replacement, times and modes, and members that must not be written.
#include "app/run_unzip.h"
#include "test_env.h"
#include "zip_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using ziptest::Member;

class RunUnzipTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_dest)); }
    void TearDown() override { QDir::setCurrent(m_savedCwd); }

    QString Archive(const std::vector<Member>& members)
    {
        const QString path = m_root.filePath("a.zip");
        QFile::remove(path);
        EXPECT_TRUE(ziptest::WriteZip(path, members));
        return path;
    }

    // The program's own call: name, -x, -o, archive, -d, destination.
    UnzipResult Extract(const QString& archive)
    {
        return Run(
            {"unzip.exe", "-x", "-o", QFile::encodeName(archive), "-d", QFile::encodeName(m_dest)});
    }

    // The driver's result; what it printed is in out.
    UnzipResult Run(const QList<QByteArray>& args)
    {
        std::vector<const char*> argv;
        for (const QByteArray& arg : args)
            argv.push_back(arg.constData());
        ::testing::internal::CaptureStdout();
        const UnzipResult result = RunUnzip(static_cast<int>(argv.size()), argv.data(), stdout);
        std::fflush(stdout);
        out = ::testing::internal::GetCapturedStdout();
        return result;
    }

    QString Dest(const QString& name) const { return m_dest + u'/' + name; }
    QByteArray Read(const QString& name) const { return testenv::ReadFile(Dest(name)); }

    std::string out;
    QTemporaryDir m_root;
    const QString m_dest = m_root.filePath("dest");
    const QString m_savedCwd = QDir::currentPath();
};

constexpr UnzipResult kExtracted = UnzipResult::Extracted;
constexpr UnzipResult kIncomplete = UnzipResult::Incomplete;

// The program's call: directories that the archive does not list are made for both separators,
// an existing file is replaced, stored Unix modes are kept (others get 0644), the stored time is
// taken as local time and the access time is left alone.
TEST_F(RunUnzipTest, ExtractsAsTheProgramAsks)
{
    ASSERT_TRUE(testenv::WriteFile(Dest("top.txt"), "a much longer old content"));
    const QString zip = Archive({{"top.txt", "top"},
                                 {"tools/bin/a.dll", "dll"},
                                 {"win\\sub\\b.txt", "backslashed"},
                                 {"empty/", ""},
                                 {"tool", "#!/bin/sh\n", 0100755},
                                 {"page.htm", "<p>", 0100600},
                                 {"timed.txt", "t", 0, 2019, 7, 14, 10, 30, 42}});
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(Extract(zip), kExtracted);
    EXPECT_EQ(Read("top.txt"), "top");
    EXPECT_EQ(Read("tools/bin/a.dll"), "dll");
    EXPECT_EQ(Read("win/sub/b.txt"), "backslashed");
    EXPECT_TRUE(QFileInfo(Dest("empty")).isDir());
    EXPECT_NE(out.find(QFile::encodeName(zip).toStdString() + " opened\n"), std::string::npos);
    EXPECT_NE(out.find(" extracting: tools/bin/a.dll\n"), std::string::npos);
    EXPECT_NE(out.find("creating directory: empty/\n"), std::string::npos);
    EXPECT_EQ(QDir::currentPath(), m_savedCwd)
        << "names are resolved from the destination; the process's directory never changes";

    const auto stated = [&](const char* name) {
        struct stat st {};
        stat(QFile::encodeName(Dest(QString::fromLatin1(name))).constData(), &st);
        return st;
    };
    EXPECT_EQ(stated("tool").st_mode & 07777, 0755u);
    EXPECT_EQ(stated("page.htm").st_mode & 07777, 0600u);
    EXPECT_EQ(stated("top.txt").st_mode & 07777, 0644u);
    std::tm local{};
    local.tm_year = 2019 - 1900, local.tm_mon = 6, local.tm_mday = 14;
    local.tm_hour = 10, local.tm_min = 30, local.tm_sec = 42, local.tm_isdst = -1;
    EXPECT_EQ(stated("timed.txt").st_mtime, std::mktime(&local));
    EXPECT_GE(stated("timed.txt").st_atime, before - 1);
}

// Members that must not be written are skipped and the rest is extracted: names that leave the
// destination, names the 256-byte name buffer would cut (into another file, or behind a slash
// into a directory), and a file a directory is in the way of.
TEST_F(RunUnzipTest, SkipsMembersThatMustNotBeWritten)
{
    const QByteArray part(63, 'p');
    const QByteArray rows[] = {
        "../evil.txt",
        "sub/../../evil2.txt",
        "sub\\..\\..\\evil3.txt",
        "../evildir/",
        QFile::encodeName(m_root.filePath("abs.txt")),
        "\\abs2.txt",
        "C:evil4.txt",
        part + '/' + part + '/' + part + '/' + part + "/file.txt",
        QByteArray(255, 'd') + "/file.txt",
        "blocked",
    };
    for (const QByteArray& stored : rows) {
        SCOPED_TRACE(stored.left(40).toStdString());
        QDir(m_dest).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(Dest("blocked")));
        EXPECT_EQ(Extract(Archive({{stored, "evil"}, {"good.txt", "good"}})), kIncomplete);
        EXPECT_NE(out.find("error opening " + stored.left(256).toStdString() + "\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(QDir(m_dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                  (QStringList{"blocked", "good.txt"}));
        EXPECT_TRUE(QDir(Dest("blocked")).isEmpty());
        EXPECT_EQ(QDir(m_root.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"a.zip", "dest"}))
            << "nothing outside the destination";
    }
    // A name of exactly 256 bytes fits.
    const QByteArray fits = part + '/' + part + '/' + part + '/' + QByteArray(64, 'f');
    EXPECT_EQ(Extract(Archive({{fits, "fits"}})), kExtracted);
    EXPECT_EQ(Read(QString::fromLatin1(fits)), "fits");
}

// A link member is not made, and a link already in the destination is not written through,
// whether it names a file or a directory.
TEST_F(RunUnzipTest, LinksAreNeitherMadeNorFollowed)
{
    const QString target = m_root.filePath("target.txt");
    ASSERT_TRUE(testenv::WriteFile(target, "precious"));
    const QString outside = m_root.filePath("outside");
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(target, Dest("a.txt")));
    ASSERT_TRUE(QFile::link(outside, Dest("sub")));
    EXPECT_EQ(Extract(Archive({{"link", QFile::encodeName(target), 0120777},
                               {"link", "a plain file of that name", 0100644},
                               {"a.txt", "evil"},
                               {"sub/x.txt", "x"},
                               {"sub/deeper/y.txt", "y"},
                               {"sub/newdir/", ""},
                               {"fine.txt", "fine"}})),
              kIncomplete);
    EXPECT_EQ(testenv::ReadFile(target), "precious");
    EXPECT_FALSE(QFileInfo(Dest("link")).isSymLink());
    EXPECT_EQ(Read("link"), "a plain file of that name");
    EXPECT_TRUE(QDir(outside).isEmpty()) << out;
    EXPECT_NE(out.find("error opening sub/deeper/y.txt\n"), std::string::npos) << out;
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
TEST_F(RunUnzipTest, MembersAreWrittenOnlyWhenTheirDataMatchesTheirHeaders)
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
        {"stored, matching", 0, text, text, size, true},
        {"deflated, matching", 8, RawDeflate(text), text, size, true},
        {"damaged deflated data", 8, damaged, text.repeated(50), size * 50, false},
        // minizip reads bzip2 data out as it is stored and checks no checksum.
        {"bzip2 method over plain data", 12, text, text, size, false},
        {"lzma method", 14, text, text, size, false},
        // minizip checks the checksum only of data that reaches the stored size.
        {"stored data shorter than its size", 0, text, text, size + 100, false},
        {"deflated data shorter than its size", 8, RawDeflate(text), text, size + 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QDir(m_dest).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dest));
        Member member{"member.bin", row.stored};
        member.raw = ziptest::RawHeaders{row.method, row.storedSize, Crc(row.content)};
        EXPECT_EQ(Extract(Archive({{"before.txt", "before"}, member, {"after.txt", "after"}})),
                  row.written ? kExtracted : kIncomplete)
            << out;
        EXPECT_EQ(Read("before.txt"), "before");
        EXPECT_EQ(QFileInfo::exists(Dest("member.bin")), row.written);
        EXPECT_EQ(QFileInfo::exists(Dest("after.txt")), row.written);
        if (row.written) {
            EXPECT_EQ(Read("member.bin"), row.content);
        }
    }
}

TEST_F(RunUnzipTest, ResultsForMissingArchiveAndUnenterableDestination)
{
    EXPECT_EQ(Run({"unzip.exe", "-x", "-o"}), UnzipResult::NoArchive);
    EXPECT_EQ(UnzipExitCode(UnzipResult::NoArchive), 1);
    EXPECT_EQ(UnzipExitCode(UnzipResult::NoDestination), -1);
    EXPECT_EQ(UnzipExitCode(kIncomplete), 0) << "members that failed leave the result 0";

    const QByteArray missing = QFile::encodeName(m_root.filePath("missing"));
    EXPECT_EQ(Run({"unzip.exe", "-x", "-o", missing}), UnzipResult::NoArchive);
    EXPECT_EQ(out,
              "Cannot open " + missing.toStdString() + " or " + missing.toStdString() + ".zip\n");

    const QByteArray zip = QFile::encodeName(Archive({{"a.txt", "a"}}));
    const QByteArray nowhere = QFile::encodeName(m_root.filePath("no/such/dir"));
    EXPECT_EQ(Run({"unzip.exe", "-x", "-o", zip, "-d", nowhere}), UnzipResult::NoDestination);
    EXPECT_NE(out.find("Error changing into " + nowhere.toStdString() + ", aborting\n"),
              std::string::npos);

    // A name that does not open is tried once more with ".zip".
    const QByteArray bare = QFile::encodeName(m_root.filePath("a"));
    EXPECT_EQ(Run({"unzip", "-o", bare, "-d", QFile::encodeName(m_dest)}), kExtracted);
    EXPECT_NE(out.find(bare.toStdString() + ".zip opened\n"), std::string::npos);
}

} // namespace
