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
    void SetUp() override
    {
        m_savedCwd = QDir::currentPath();
        m_dest = m_root.filePath(QStringLiteral("dest"));
        ASSERT_TRUE(QDir().mkpath(m_dest));
    }
    void TearDown() override { QDir::setCurrent(m_savedCwd); }

    QString Archive(const std::vector<Member>& members)
    {
        const QString path = m_root.filePath(QStringLiteral("a.zip"));
        QFile::remove(path);
        EXPECT_TRUE(ziptest::WriteZip(path, members));
        return path;
    }

    // The program's own call: name, -x, -o, archive, -d, destination.
    UnzipResult Extract(const QString& archive, std::string* output = nullptr)
    {
        const QByteArray a = QFile::encodeName(archive);
        const QByteArray d = QFile::encodeName(m_dest);
        const char* const argv[] = {"unzip.exe", "-x", "-o", a.constData(), "-d", d.constData()};
        return Run(6, argv, output);
    }

    static UnzipResult Run(int argc, const char* const argv[], std::string* output = nullptr)
    {
        ::testing::internal::CaptureStdout();
        const UnzipResult result = RunUnzip(argc, argv, stdout);
        std::fflush(stdout);
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (output)
            *output = out;
        return result;
    }

    QString Dest(const QString& name) const { return m_dest + u'/' + name; }
    QByteArray Read(const QString& name) const { return testenv::ReadFile(Dest(name)); }

    QTemporaryDir m_root;
    QString m_dest;
    QString m_savedCwd;
};

constexpr UnzipResult kExtracted = UnzipResult::Extracted;
constexpr UnzipResult kIncomplete = UnzipResult::Incomplete;

// The program's call: directories that the archive does not list are made for both separators,
// an existing file is replaced, stored Unix modes are kept (others get 0644), the stored time is
// taken as local time and the access time is left alone.
TEST_F(RunUnzipTest, ExtractsAsTheProgramAsks)
{
    ASSERT_TRUE(testenv::WriteFile(Dest(QStringLiteral("top.txt")), "a much longer old content"));
    Member timed{"timed.txt", "t"};
    timed.year = 2019, timed.month = 7, timed.day = 14, timed.hour = 10, timed.minute = 30,
    timed.second = 42;
    const QString zip = Archive({{"top.txt", "top"},
                                 {"tools/bin/a.dll", "dll"},
                                 {"win\\sub\\b.txt", "backslashed"},
                                 {"empty/", ""},
                                 {"tool", "#!/bin/sh\n", 0100755},
                                 {"page.htm", "<p>", 0100600},
                                 timed});
    const std::time_t before = std::time(nullptr);
    std::string out;
    EXPECT_EQ(Extract(zip, &out), kExtracted);
    EXPECT_EQ(Read(QStringLiteral("top.txt")), "top");
    EXPECT_EQ(Read(QStringLiteral("tools/bin/a.dll")), "dll");
    EXPECT_EQ(Read(QStringLiteral("win/sub/b.txt")), "backslashed");
    EXPECT_TRUE(QFileInfo(Dest(QStringLiteral("empty"))).isDir());
    EXPECT_NE(out.find(QFile::encodeName(zip).toStdString() + " opened\n"), std::string::npos);
    EXPECT_NE(out.find(" extracting: tools/bin/a.dll\n"), std::string::npos);
    EXPECT_NE(out.find("creating directory: empty/\n"), std::string::npos);
    EXPECT_EQ(QFileInfo(QDir::currentPath()).canonicalFilePath(),
              QFileInfo(m_dest).canonicalFilePath())
        << "the current directory stays at the destination";

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

TEST_F(RunUnzipTest, SkipsAMemberWhoseFileCannotBeCreatedAndGoesOn)
{
    // A directory in the way: the file cannot be created (also not by root).
    ASSERT_TRUE(QDir().mkpath(Dest(QStringLiteral("blocked"))));
    std::string out;
    EXPECT_EQ(Extract(Archive({{"blocked", "x"}, {"after.txt", "after"}}), &out), kIncomplete);
    EXPECT_NE(out.find("error opening blocked\n"), std::string::npos);
    EXPECT_TRUE(QFileInfo(Dest(QStringLiteral("blocked"))).isDir());
    EXPECT_EQ(Read(QStringLiteral("after.txt")), "after");
}

struct EscapeCase {
    const char* name;
    const char* stored;
    const char* outside; // where it would land, relative to the destination's parent
};

void PrintTo(const EscapeCase& c, std::ostream* os)
{
    *os << c.stored;
}

class RunUnzipEscapeTest : public RunUnzipTest, public ::testing::WithParamInterface<EscapeCase> {};

TEST_P(RunUnzipEscapeTest, NeverWritesOutsideTheDestination)
{
    const EscapeCase& c = GetParam();
    QByteArray stored = c.stored;
    const QString outsideRoot = m_root.path();
    stored.replace("@ROOT@", QFile::encodeName(outsideRoot));
    std::string out;
    EXPECT_EQ(Extract(Archive({{stored, "evil"}, {"good.txt", "good"}}), &out), kIncomplete);
    EXPECT_FALSE(QFileInfo::exists(outsideRoot + u'/' + QString::fromLatin1(c.outside)));
    EXPECT_NE(out.find("error opening " + stored.toStdString() + "\n"), std::string::npos) << out;
    // The rest is extracted, and nothing at all was made for the refused member.
    EXPECT_EQ(Read(QStringLiteral("good.txt")), "good");
    EXPECT_EQ(QDir(m_dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{QStringLiteral("good.txt")});
}

INSTANTIATE_TEST_SUITE_P(
    Names, RunUnzipEscapeTest,
    ::testing::Values(EscapeCase{"DotDot", "../evil.txt", "evil.txt"},
                      EscapeCase{"DotDotInside", "sub/../../evil2.txt", "evil2.txt"},
                      EscapeCase{"DotDotBackslash", "sub\\..\\..\\evil3.txt", "evil3.txt"},
                      EscapeCase{"DotDotDirectory", "../evildir/", "evildir"},
                      EscapeCase{"Absolute", "@ROOT@/abs.txt", "abs.txt"},
                      EscapeCase{"AbsoluteBackslash", "\\abs2.txt", "abs2.txt"},
                      EscapeCase{"DrivePrefix", "C:evil4.txt", "evil4.txt"}),
    [](const auto& row) { return std::string(row.param.name); });

// A link member is not made, and a link already in the destination is not written through,
// whether it names a file or a directory.
TEST_F(RunUnzipTest, LinksAreNeitherMadeNorFollowed)
{
    const QString target = m_root.filePath(QStringLiteral("target.txt"));
    ASSERT_TRUE(testenv::WriteFile(target, "precious"));
    const QString outside = m_root.filePath(QStringLiteral("outside"));
    ASSERT_TRUE(QDir().mkpath(outside));
    ASSERT_TRUE(QFile::link(target, Dest(QStringLiteral("a.txt"))));
    ASSERT_TRUE(QFile::link(outside, Dest(QStringLiteral("sub"))));
    std::string out;
    EXPECT_EQ(Extract(Archive({{"link", QFile::encodeName(target), 0120777},
                               {"link", "a plain file of that name", 0100644},
                               {"a.txt", "evil"},
                               {"sub/x.txt", "x"},
                               {"sub/deeper/y.txt", "y"},
                               {"sub/newdir/", ""},
                               {"fine.txt", "fine"}}),
                      &out),
              kIncomplete);
    EXPECT_EQ(testenv::ReadFile(target), "precious");
    EXPECT_FALSE(QFileInfo(Dest(QStringLiteral("link"))).isSymLink());
    EXPECT_EQ(Read(QStringLiteral("link")), "a plain file of that name");
    EXPECT_TRUE(QDir(outside).isEmpty()) << out;
    EXPECT_NE(out.find("error opening sub/deeper/y.txt\n"), std::string::npos) << out;
    EXPECT_EQ(Read(QStringLiteral("fine.txt")), "fine");
}

TEST_F(RunUnzipTest, DamagedMemberDataStopsTheExtractionAndLeavesNoFile)
{
    QByteArray zip =
        ziptest::MakeZip({{"first.txt", QByteArray(4000, 'a')}, {"second.txt", "second"}});
    ASSERT_FALSE(zip.isEmpty());
    // The compressed data of the first member begins after its 30-byte local header and name.
    const int dataStart = 30 + 9;
    for (int i = dataStart; i < dataStart + 8; ++i)
        zip[i] = static_cast<char>(zip[i] ^ 0x5A);
    const QString path = m_root.filePath(QStringLiteral("damaged.zip"));
    ASSERT_TRUE(testenv::WriteFile(path, zip));
    std::string out;
    EXPECT_EQ(Extract(path, &out), kIncomplete);
    EXPECT_NE(out.find("error "), std::string::npos) << out;
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("first.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("second.txt"))));
}

std::uint32_t Crc(const QByteArray& data)
{
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
}

// Deflated without the zlib wrapper, as zip members are.
QByteArray RawDeflate(const QByteArray& data)
{
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return {};
    QByteArray out(static_cast<int>(deflateBound(&z, static_cast<uLong>(data.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int err = deflate(&z, Z_FINISH);
    out.resize(static_cast<int>(z.total_out));
    deflateEnd(&z);
    return err == Z_STREAM_END ? out : QByteArray();
}

struct UnverifiableCase {
    const char* name;
    int method;
    QByteArray stored;        // the member's data as it is in the archive
    QByteArray content;       // what it holds: its checksum is the stored one
    std::uint64_t storedSize; // the size the headers give
};

void PrintTo(const UnverifiableCase& c, std::ostream* os)
{
    *os << c.name;
}

class RunUnzipUnverifiableTest : public RunUnzipTest,
                                 public ::testing::WithParamInterface<UnverifiableCase> {};

// Data that cannot be checked against its headers fails like a checksum error: no file, the
// extraction stops and is not complete.
TEST_P(RunUnzipUnverifiableTest, LeavesNoFileAndStops)
{
    const UnverifiableCase& c = GetParam();
    Member bad{"bad.bin", c.stored};
    bad.raw = ziptest::RawHeaders{c.method, c.storedSize, Crc(c.content)};
    std::string out;
    EXPECT_EQ(Extract(Archive({{"before.txt", "before"}, bad, {"after.txt", "after"}}), &out),
              kIncomplete);
    EXPECT_NE(out.find("error "), std::string::npos) << out;
    EXPECT_EQ(Read(QStringLiteral("before.txt")), "before");
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("bad.bin")))) << out;
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("after.txt")))) << out;
}

const QByteArray kText = "plain text that a method it cannot inflate would pass on as it is";

INSTANTIATE_TEST_SUITE_P(
    Members, RunUnzipUnverifiableTest,
    ::testing::Values(
        // minizip reads bzip2 data out as it is stored and checks no checksum.
        UnverifiableCase{"Bzip2MethodOverPlainData", 12, kText, kText,
                         static_cast<std::uint64_t>(kText.size())},
        UnverifiableCase{"LzmaMethod", 14, kText, kText, static_cast<std::uint64_t>(kText.size())},
        // The data ends before the stored size: minizip checks the checksum only at that size.
        UnverifiableCase{"StoredDataShorterThanItsSize", 0, kText, kText,
                         static_cast<std::uint64_t>(kText.size()) + 100},
        UnverifiableCase{"DeflatedDataShorterThanItsSize", 8, RawDeflate(kText), kText,
                         static_cast<std::uint64_t>(kText.size()) + 1}),
    [](const auto& row) { return std::string(row.param.name); });

// The headers' size and checksum match the data: the same way of writing gives the file.
TEST_F(RunUnzipTest, RawMembersWithMatchingHeadersAreExtracted)
{
    Member stored{"stored.txt", kText};
    stored.raw = ziptest::RawHeaders{0, static_cast<std::uint64_t>(kText.size()), Crc(kText)};
    Member deflated{"deflated.txt", RawDeflate(kText)};
    deflated.raw = ziptest::RawHeaders{8, static_cast<std::uint64_t>(kText.size()), Crc(kText)};
    EXPECT_EQ(Extract(Archive({stored, deflated})), kExtracted);
    EXPECT_EQ(Read(QStringLiteral("stored.txt")), kText);
    EXPECT_EQ(Read(QStringLiteral("deflated.txt")), kText);
}

// Names longer than the 256-byte name buffer: cut, they would name another file (or, cut
// behind a slash, a directory). Such a member is skipped; the next one is extracted.
TEST_F(RunUnzipTest, SkipsMembersWhoseNamesDoNotFitTheNameBuffer)
{
    const QByteArray part(63, 'p');
    const QByteArray cutInName = part + '/' + part + '/' + part + '/' + part + "/file.txt";
    const QByteArray cutBehindSlash = QByteArray(255, 'd') + "/file.txt";
    ASSERT_GT(cutInName.size(), 256);
    for (const QByteArray& name : {cutInName, cutBehindSlash}) {
        std::string out;
        EXPECT_EQ(Extract(Archive({{name, "cut"}, {"good.txt", "good"}}), &out), kIncomplete);
        EXPECT_NE(out.find("error opening " + name.left(256).toStdString() + "\n"),
                  std::string::npos)
            << out;
        EXPECT_EQ(QDir(m_dest).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{QStringLiteral("good.txt")});
        QFile::remove(Dest(QStringLiteral("good.txt")));
    }
    // A name of exactly 256 bytes fits.
    const QByteArray fits = part + '/' + part + '/' + part + '/' + QByteArray(64, 'f');
    ASSERT_EQ(fits.size(), 256);
    EXPECT_EQ(Extract(Archive({{fits, "fits"}})), kExtracted);
    EXPECT_EQ(Read(QString::fromLatin1(fits)), "fits");
}

TEST_F(RunUnzipTest, ResultsForMissingArchiveAndUnenterableDestination)
{
    const char* const none[] = {"unzip.exe", "-x", "-o"};
    EXPECT_EQ(Run(3, none), UnzipResult::NoArchive);
    EXPECT_EQ(UnzipExitCode(UnzipResult::NoArchive), 1);
    EXPECT_EQ(UnzipExitCode(UnzipResult::NoDestination), -1);
    EXPECT_EQ(UnzipExitCode(kIncomplete), 0) << "members that failed leave the result 0";

    const QByteArray missing = QFile::encodeName(m_root.filePath(QStringLiteral("missing")));
    const char* const noArchive[] = {"unzip.exe", "-x", "-o", missing.constData()};
    std::string out;
    EXPECT_EQ(Run(4, noArchive, &out), UnzipResult::NoArchive);
    EXPECT_EQ(out,
              "Cannot open " + missing.toStdString() + " or " + missing.toStdString() + ".zip\n");

    const QByteArray zip = QFile::encodeName(Archive({{"a.txt", "a"}}));
    const QByteArray nowhere = QFile::encodeName(m_root.filePath(QStringLiteral("no/such/dir")));
    const char* const badDest[] = {"unzip.exe",     "-x", "-o",
                                   zip.constData(), "-d", nowhere.constData()};
    EXPECT_EQ(Run(6, badDest, &out), UnzipResult::NoDestination);
    EXPECT_NE(out.find("Error changing into " + nowhere.toStdString() + ", aborting\n"),
              std::string::npos);
}

TEST_F(RunUnzipTest, OpensTheNameWithZipAppended)
{
    Archive({{"a.txt", "a"}}); // m_root/a.zip
    const QByteArray bare = QFile::encodeName(m_root.filePath(QStringLiteral("a")));
    const QByteArray d = QFile::encodeName(m_dest);
    const char* const argv[] = {"unzip", "-o", bare.constData(), "-d", d.constData()};
    std::string out;
    EXPECT_EQ(Run(5, argv, &out), kExtracted);
    EXPECT_NE(out.find(bare.toStdString() + ".zip opened\n"), std::string::npos);
    EXPECT_EQ(Read(QStringLiteral("a.txt")), "a");
}

TEST_F(RunUnzipTest, OptionLettersListExtractWithoutPathsAndOneMember)
{
    const QString zip = Archive({{"dir/one.txt", "one"}, {"dir/two.txt", "two"}});
    const QByteArray z = QFile::encodeName(zip);
    ASSERT_TRUE(QDir::setCurrent(m_dest));

    std::string out;
    const char* const list[] = {"u", "-L", z.constData()};
    EXPECT_EQ(Run(3, list, &out), kExtracted);
    EXPECT_NE(out.find("dir/two.txt"), std::string::npos);
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("dir"))));

    const char* const flat[] = {"u", "-eO", z.constData(), "dir/two.txt"};
    EXPECT_EQ(Run(4, flat), kExtracted);
    EXPECT_EQ(Read(QStringLiteral("two.txt")), "two");
    EXPECT_FALSE(QFileInfo::exists(Dest(QStringLiteral("one.txt"))));

    // "-p" takes the next entry as the password, so it is neither archive nor member.
    const char* const withPassword[] = {"u", "-p", "secret", z.constData()};
    EXPECT_EQ(Run(4, withPassword), kExtracted);
}

TEST_F(RunUnzipTest, WithoutOverwriteAnExistingFileIsKept)
{
    ASSERT_TRUE(testenv::WriteFile(Dest(QStringLiteral("a.txt")), "old"));
    const QByteArray z = QFile::encodeName(Archive({{"a.txt", "new"}, {"b.txt", "b"}}));
    const QByteArray d = QFile::encodeName(m_dest);
    const char* const argv[] = {"u", "-x", z.constData(), "-d", d.constData()};
    EXPECT_EQ(Run(5, argv), kExtracted);
    EXPECT_EQ(Read(QStringLiteral("a.txt")), "old");
    EXPECT_EQ(Read(QStringLiteral("b.txt")), "b");
}

} // namespace
