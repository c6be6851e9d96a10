// The built program as a user starts it: its own options, starts that end early with one line
// on standard error, and a termination signal in the window.
#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdint>

namespace {

const QString kExe = QStringLiteral(VANDREL_EXE);

// No display in any of these runs: a run that ends before a window must not need one.
const QStringList kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

// Runs that end before any window need no display.
TEST(Program, RunsWithoutAWindowNeedNoDisplay)
{
    const auto version = testenv::Run(kExe, {"--version"}, 10000, kNoDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Vandrel 1.0.0.1\n");
    const auto help = testenv::Run(kExe, {"--help"}, 10000, kNoDisplay);
    EXPECT_TRUE(help.out.contains("--download-mp3=URL") && help.out.contains("--update"));

    QFile::remove(UserSettingsFile());
    const auto refused = testenv::Run(kExe, {}, 10000, kNoDisplay);
    EXPECT_EQ(refused.exitCode, 0);
    EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(UserSettingsFile().toUtf8())) << "it says which file";

    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), "[General]\nAffID=test\n"));
    EXPECT_EQ(testenv::Run(kExe, {"--update"}, 10000, kNoDisplay).exitCode, 0);
    const auto key = OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(ReadStringValue(*key, "LastUpdate").value_or("<absent>"),
              QDate::currentDate().toString("yyyyMMdd"))
        << "the first day is recorded";
}

// The built program with its payload changed by damage(zip); the copy is made executable.
QString ProgramCopy(const QString& folder, void (*damage)(QByteArray& program, qsizetype payload))
{
    QByteArray program = testenv::ReadFile(kExe);
    qsizetype marker = -1;
    for (qsizetype i = 0; i + 4 <= program.size() && marker < 0; i += 4) {
        if (program.mid(i, 4) == QByteArray("\x0D\xF0\xAD\xDE", 4))
            marker = i;
    }
    EXPECT_GT(marker, 0);
    damage(program, marker);
    const QString path = folder + QStringLiteral("/vandrel-copy");
    EXPECT_TRUE(testenv::WriteFile(path, program));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

std::uint32_t Le32(const QByteArray& b, qsizetype at)
{
    std::uint32_t v = 0;
    for (int k = 3; k >= 0; --k)
        v = (v << 8) | static_cast<std::uint8_t>(b[at + k]);
    return v;
}

void CutPayload(QByteArray& program, qsizetype marker)
{
    program.truncate(marker);
}

// Changes the stored checksum of the archive's first member, in its central directory entry
// and in its local header, so the member reads and inflates but fails its checksum.
void BreakFirstChecksum(QByteArray& program, qsizetype marker)
{
    const qsizetype zipStart = marker + 8;
    QByteArray zip = program.mid(zipStart, Le32(program, marker + 4));
    for (char& c : zip)
        c = static_cast<char>(c ^ 0xA7);
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    const qsizetype local = Le32(zip, central + 42);
    ASSERT_EQ(zip.mid(local, 4), QByteArray("PK\x03\x04", 4));
    zip[central + 16] = static_cast<char>(zip[central + 16] ^ 0x55);
    if ((static_cast<std::uint8_t>(zip[local + 6]) & 8) == 0) // no data descriptor
        zip[local + 14] = static_cast<char>(zip[local + 14] ^ 0x55);
    for (char& c : zip)
        c = static_cast<char>(c ^ 0xA7);
    program.replace(zipStart, zip.size(), zip);
}

struct FaultCase {
    const char* name;
    QStringList args;
    QStringList env;                        // "NAME=value" sets, "NAME" removes
    bool lastUpdateToday;                   // false: the update check would ask the server
    void (*damage)(QByteArray&, qsizetype); // null: the built program as it is
    bool tmpMissing;                        // TMPDIR names a folder that does not exist
    QByteArray expectedErr;                 // "@TMP" stands for TMPDIR
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

class StartFault : public ::testing::TestWithParam<FaultCase> {};

// Each of these starts ends with exit code 0, at most one line on standard error, and nothing
// left in the temporary folder.
TEST_P(StartFault, EndsWithOneLineAndLeavesNothing)
{
    const FaultCase& c = GetParam();
    const QDate day = c.lastUpdateToday ? QDate::currentDate() : QDate::currentDate().addDays(-1);
    ASSERT_TRUE(testenv::WriteFile(
        UserSettingsFile(),
        "[General]\nAffID=test\nLastUpdate=" + day.toString("yyyyMMdd").toUtf8() + "\n"));
    QTemporaryDir tmp, runtime, programs;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString tmpDir = c.tmpMissing ? tmp.filePath("missing") : tmp.path();
    QStringList env = {"TMPDIR=" + tmpDir, "XDG_RUNTIME_DIR=" + runtime.path(), "WAYLAND_DISPLAY",
                       "XDG_SESSION_TYPE", "VANDREL_UPDATE_SERVER=http://127.0.0.1:9"};
    env += c.env;
    const QString program = c.damage ? ProgramCopy(programs.path(), c.damage) : kExe;

    const auto run = testenv::Run(program, c.args, 60000, env);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QByteArray expected = c.expectedErr;
    expected.replace("@TMP", QFile::encodeName(tmpDir));
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(expected)) << run.err.toStdString();
    EXPECT_TRUE(QDir(tmp.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        << QDir(tmp.path())
               .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
               .join(u' ')
               .toStdString();
}

const QStringList kOffscreen = {"QT_QPA_PLATFORM=offscreen", "DISPLAY"};
// A display number that no X server on this machine serves.
const QStringList kNoServer = {"DISPLAY=:1999", "QT_QPA_PLATFORM"};

INSTANTIATE_TEST_SUITE_P(
    Table, StartFault,
    ::testing::Values(
        FaultCase{"DisplayNotSet",
                  {},
                  {"DISPLAY", "QT_QPA_PLATFORM"},
                  true,
                  nullptr,
                  false,
                  "vandrel: cannot open the display (DISPLAY is not set)\n"},
        FaultCase{"UpdateDialogWithoutDisplay",
                  {},
                  kNoServer,
                  false,
                  nullptr,
                  false,
                  "vandrel: cannot open the display \":1999\" (DISPLAY)\n"},
        FaultCase{"QtPlatformOptionIsNotObeyed",
                  {"-platform", "offscreen"},
                  kNoServer,
                  true,
                  nullptr,
                  false,
                  "vandrel: cannot open the display \":1999\" (DISPLAY)\n"},
        FaultCase{"TemporaryFolderMissing",
                  {},
                  kOffscreen,
                  true,
                  nullptr,
                  true,
                  "vandrel: cannot make the workspace in the temporary folder \"@TMP\" (TMPDIR): "
                  "No such file or directory\n"},
        FaultCase{"PayloadMissing",
                  {},
                  kOffscreen,
                  true,
                  CutPayload,
                  false,
                  "vandrel: the tools carried in the program file could not be unpacked"},
        FaultCase{"PayloadMemberFailsItsChecksum",
                  {},
                  kOffscreen,
                  true,
                  BreakFirstChecksum,
                  false,
                  "vandrel: the tools carried in the program file could not be unpacked"}),
    [](const auto& row) { return std::string(row.param.name); });

// A good start with Qt's own options on the command line: the window opens on the platform the
// environment names (the options would have it fail on a display nobody serves), and a
// termination signal ends it like a close: exit code 0 and nothing left behind.
TEST(Program, QtOptionsAreNotObeyedAndATerminationSignalEndsTheWindowCleanly)
{
    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(),
                                   "[General]\nAffID=test\nLastUpdate=" +
                                       QDate::currentDate().toString("yyyyMMdd").toUtf8() + "\n"));
    QTemporaryDir tmp, runtime;
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("DISPLAY"));
    program.setProcessEnvironment(env);
    program.start(kExe,
                  {"-platform", "xcb", "-display", ":1999", "-stylesheet", "/nonexistent.qss"});
    ASSERT_TRUE(program.waitForStarted());

    // The window runs once the tools are unpacked (the workspace holds the player page).
    const auto unpacked = [&] {
        const QStringList spaces = QDir(tmp.path()).entryList({"vnd*"}, QDir::Dirs);
        return !spaces.isEmpty() && QFile::exists(tmp.filePath(spaces.front() + "/player.htm"));
    };
    ASSERT_TRUE(testenv::WaitUntil(
        [&] { return unpacked() || program.state() != QProcess::Running; }, 30000));
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
    ASSERT_TRUE(unpacked());
    program.waitForFinished(500); // into the window's event loop

    program.terminate(); // SIGTERM
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(program.readAllStandardError().contains("display"));
    EXPECT_TRUE(QDir(tmp.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        << QDir(tmp.path())
               .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
               .join(u' ')
               .toStdString();
}

} // namespace
