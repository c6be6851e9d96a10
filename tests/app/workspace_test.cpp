// The workspace, the payload scan on crafted program files, and the removal of a workspace that
// holds links or is deeper than the open-file limit.
#include "app/workspace.h"
#include "test_env.h"
#include "zip_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using namespace app;

unsigned ModeOf(const QString& path)
{
    struct stat st {};
    lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & (S_IFMT | 07777);
}

// A workspace is a new private directory: a name that exists, even as a link to nothing, is never
// used. Its lock file is private too, and no tool inherits the lock.
TEST(Workspace, WorkspacesAreNewAndPrivate)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(testenv::WriteFile(tmp.filePath("taken-file"), "x"));
    ASSERT_TRUE(QFile::link(tmp.filePath("nowhere"), tmp.filePath("taken-dangling")));
    const QStringList names = {"taken-file", "taken-dangling", "free"};
    int asked = 0;
    const platform::Expected<Workspace> made =
        CreateWorkspace(tmp.path(), [&] { return names.value(asked++); });
    ASSERT_TRUE(made);
    const Workspace& ws = *made;
    EXPECT_EQ(ws.path, tmp.filePath("free"));
    EXPECT_EQ(ModeOf(ws.path), 0700u | S_IFDIR);
    EXPECT_EQ(ModeOf(ws.path + "/.lock"), 0600u | S_IFREG);
    EXPECT_TRUE(fcntl(ws.lock.Get(), F_GETFD) & FD_CLOEXEC);
    EXPECT_FALSE(QFileInfo::exists(tmp.filePath("nowhere")));
}

// A start removes the workspaces of runs that have ended (their lock is free) and nothing else:
// not a live run's, not one without a lock file, not a link, not a directory of another name.
TEST(Workspace, AStartRemovesOnlyTheWorkspacesOfRunsThatHaveEnded)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(QDir().mkpath(tmp.filePath("dir/elsewhere")));
    const QString dir = tmp.filePath("dir");
    // A workspace made by a run that is still live, or (closed) has ended.
    const auto make = [](const QString& in, const char* name, bool live) {
        Workspace ws =
            CreateWorkspace(in, [name, asked = false]() mutable {
                return std::exchange(asked, true) ? QString() : QString::fromLatin1(name);
            }).value();
        EXPECT_TRUE(testenv::WriteFile(ws.path + "/a/downloader", "tool"));
        if (!live)
            ws.lock.Close();
        return ws;
    };
    Workspace live = make(dir, "vnd00000001-0000000a", true);
    make(dir, "vnd00000002-0000000b", false);
    make(dir, "vnd0000000C-0000000c", false);     // upper-case: not a name of ours
    make(dir, "vnd00000004-0000000d.tmp", false); // nor is this
    make(dir + "/elsewhere", "vnd00000005-0000000e", false);
    ASSERT_TRUE(
        QFile::link(dir + "/elsewhere/vnd00000005-0000000e", dir + "/vnd00000006-0000000f"));
    ASSERT_TRUE(QDir().mkpath(dir + "/vnd00000007-00000010")); // an older version's
    ASSERT_TRUE(QDir().mkpath(dir + "/vnd00000008-00000011"));
    ASSERT_EQ(mkfifo(QFile::encodeName(dir + "/vnd00000008-00000011/.lock").constData(), 0600), 0);
    const auto entries = [&] {
        return QDir(dir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    };
    QStringList expected = entries();
    expected.removeOne("vnd00000002-0000000b");

    EXPECT_EQ(RemoveEndedWorkspaces(dir), 1);
    EXPECT_EQ(entries(), expected);
    EXPECT_TRUE(QFileInfo::exists(dir + "/elsewhere/vnd00000005-0000000e/a/downloader"));
    live.lock.Close();
    EXPECT_EQ(RemoveEndedWorkspaces(dir), 1);
    EXPECT_FALSE(QFileInfo::exists(live.path));
}

const QByteArray kMarker("\x0D\xF0\xAD\xDE", 4);

QByteArray Le32(std::uint32_t n)
{
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>((n >> shift) & 0xFF));
    return bytes;
}

// The marker, a length (the archive's, off by lengthError) and the archive, scrambled or not.
QByteArray Payload(const QByteArray& zip, std::int64_t lengthError = 0, bool scramble = true)
{
    QByteArray bytes = kMarker + Le32(static_cast<std::uint32_t>(zip.size() + lengthError));
    for (char c : zip)
        bytes.append(static_cast<char>(static_cast<unsigned char>(c) ^ (scramble ? 0xA7 : 0)));
    return bytes;
}

// Only a well-formed payload at a 4-aligned offset is extracted, and no temporary archive stays.
// A failure says why.
TEST(PayloadScan, FindsOnlyAWellFormedPayload)
{
    const QByteArray zip = ziptest::MakeZip({{"downloader", "#!/bin/sh\n", 0100755},
                                             {"convert", "#!/bin/sh\n", 0100755},
                                             {"player.htm", "<!DOCTYPE html>", 0100644}});
    const auto filler = [](int size) { return QByteArray(size, 'P'); };
    ziptest::Member badChecksum{"convert", "#!/bin/sh\n"};
    badChecksum.raw = ziptest::RawHeaders{0, 10, 0x12345678};
    const QByteArray damaged =
        ziptest::MakeZip({{"downloader", "#!/bin/sh\n", 0100755}, badChecksum});
    const QStringList tools = {"convert", "downloader", "player.htm"};
    const QByteArray notAZip = kMarker + Le32(8) + "xxxxxxxx"; // then a good payload
    struct Row {
        const char* name;
        QByteArray file;
        QString failure;  // a part of the reason; empty: extracted
        QStringList left; // the files in the workspace afterwards
    } const rows[] = {
        {"the marker is the last word of a block", filler(4092) + Payload(zip), "", tools},
        {"the marker only at an unaligned offset", filler(4098) + Payload(zip), "no payload", {}},
        {"a length past the end", filler(64) + Payload(zip, 100), "cut short", {}},
        {"a length of zero", filler(64) + Payload(zip, -zip.size()), "archive", {}},
        {"the file ends in the length", filler(4096) + kMarker + "\x10", "length", {}},
        {"the first marker counts", filler(64) + notAZip + Payload(zip), "archive", {}},
        {"a payload that is not scrambled", filler(64) + Payload(zip, 0, false), "archive", {}},
        // A member the extraction refused makes the payload a damaged one.
        {"a member that fails its checksum",
         filler(64) + Payload(damaged),
         "convert: ",
         {"downloader"}},
    };
    const QString saved = QDir::currentPath();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir tmp;
        const QString program = tmp.filePath("program");
        ASSERT_TRUE(testenv::WriteFile(program, row.file));
        const QString ws = tmp.filePath("ws");
        ASSERT_TRUE(QDir().mkpath(ws));

        const platform::Expected<void> extracted = ExtractToolPayload(ws, program);
        EXPECT_EQ(extracted.has_value(), row.failure.isEmpty());
        if (!extracted) {
            EXPECT_TRUE(extracted.error().text.contains(row.failure))
                << extracted.error().text.toStdString();
        }
        EXPECT_EQ(QDir(ws).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden |
                                     QDir::System),
                  row.left);
        EXPECT_EQ(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"program", "ws"}));
        EXPECT_EQ(QDir::currentPath(), saved) << "the current directory stays where it was";
        QDir::setCurrent(saved);
    }
}

TEST(RemoveDirectoryTree, RemovesLinksButNotWhatTheyPointTo)
{
    QTemporaryDir tmp;
    const QString outside = tmp.filePath("outside");
    const QString ws = tmp.filePath("ws");
    for (const char* file : {"outside/keep.txt", "outside/deep/keep2.txt", "ws/a/b/c/file",
                             "ws/.hidden", "ws/readonly"})
        ASSERT_TRUE(testenv::WriteFile(tmp.filePath(file), "keep"));
    ASSERT_TRUE(QFile::setPermissions(ws + "/readonly", QFileDevice::ReadOwner));
    ASSERT_TRUE(QFile::link(outside, ws + "/dirlink"));
    ASSERT_TRUE(QFile::link(outside + "/keep.txt", ws + "/a/filelink"));
    ASSERT_TRUE(QFile::link(tmp.filePath("nowhere"), ws + "/dangling"));
    // A link given as the directory itself is not followed either.
    ASSERT_TRUE(QFile::link(outside, tmp.filePath("toplink")));

    RemoveDirectoryTree(ws);
    RemoveDirectoryTree(tmp.filePath("toplink"));
    EXPECT_FALSE(QFileInfo::exists(ws));
    EXPECT_EQ(testenv::ReadFile(outside + "/keep.txt"), "keep");
    EXPECT_EQ(testenv::ReadFile(outside + "/deep/keep2.txt"), "keep");
}

TEST(RemoveDirectoryTree, RemovesATreeDeeperThanTheOpenFileLimit)
{
    constexpr int kDepth = 2000;
    QTemporaryDir tmp;
    const QString ws = tmp.filePath("ws");
    ASSERT_TRUE(QDir().mkpath(ws));
    {
        // Made level by level through descriptors: the path is longer than PATH_MAX.
        int fd = open(QFile::encodeName(ws).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        for (int level = 0; level < kDepth; ++level) {
            const int file = openat(fd, "f", O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            close(file);
            ASSERT_EQ(mkdirat(fd, "d", 0700), 0);
            const int next = openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(fd);
            fd = next;
            ASSERT_GE(fd, 0);
        }
        close(fd);
    }
    // Lowered for the removal only: far fewer descriptors than levels.
    rlimit old{};
    getrlimit(RLIMIT_NOFILE, &old);
    rlimit lowered = old;
    lowered.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lowered), 0);
    RemoveDirectoryTree(ws);
    setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_FALSE(QFileInfo::exists(ws));
    EXPECT_TRUE(QDir(tmp.path()).isEmpty());
}

} // namespace
