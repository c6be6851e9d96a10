// The built program as a user starts it: its own options, and starts that end early with one
// line on standard error.
#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>

namespace {

const QString kExe = QStringLiteral(VANDREL_EXE);

// Runs that end before any window need no display.
const QStringList kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

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

QStringList Words(const char* text)
{
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

const char* const kOffscreen = "QT_QPA_PLATFORM=offscreen DISPLAY";
// A display number that no X server on this machine serves.
const char* const kNoServer = "DISPLAY=:1999 QT_QPA_PLATFORM";
const QByteArray kNoDisplay1999 = "vandrel: cannot open the display \":1999\" (DISPLAY)\n";
const QByteArray kUnpackFailed =
    "vandrel: the tools carried in the program file could not be unpacked";

// Each of these starts ends with exit code 0, one line on standard error, and nothing left in
// the temporary folder.
TEST(Program, StartFaultsEndWithOneLineAndLeaveNothing)
{
    struct Row {
        const char* name;
        const char* args;            // blank-separated
        const char* env;             // blank-separated; "NAME=value" sets, "NAME" removes
        QByteArray expectedErr;      // "@TMP" stands for TMPDIR
        bool lastUpdateToday = true; // false: the check would ask
        void (*damage)(QByteArray&, qsizetype) = nullptr; // null: the built program as it is
        bool tmpMissing = false; // TMPDIR names a folder that does not exist
    } const rows[] = {
        {"display not set", "", "DISPLAY QT_QPA_PLATFORM",
         "vandrel: cannot open the display (DISPLAY is not set)\n"},
        {"the update question without a display", "", kNoServer, kNoDisplay1999, false},
        {"Qt's -platform option is not obeyed", "-platform offscreen", kNoServer, kNoDisplay1999},
        {"the temporary folder is missing", "", kOffscreen,
         "vandrel: cannot make the workspace in the temporary folder \"@TMP\" (TMPDIR): "
         "No such file or directory\n",
         true, nullptr, true},
        {"the payload is missing", "", kOffscreen, kUnpackFailed, true, CutPayload},
        {"a payload member fails its checksum", "", kOffscreen, kUnpackFailed, true,
         BreakFirstChecksum},
    };
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        const QDate day =
            c.lastUpdateToday ? QDate::currentDate() : QDate::currentDate().addDays(-1);
        ASSERT_TRUE(testenv::WriteFile(
            UserSettingsFile(),
            "[General]\nAffID=test\nLastUpdate=" + day.toString("yyyyMMdd").toUtf8() + "\n"));
        QTemporaryDir tmp, runtime, programs;
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString tmpDir = c.tmpMissing ? tmp.filePath("missing") : tmp.path();
        const QStringList env =
            QStringList{"TMPDIR=" + tmpDir, "XDG_RUNTIME_DIR=" + runtime.path(), "WAYLAND_DISPLAY",
                        "XDG_SESSION_TYPE", "VANDREL_UPDATE_SERVER=http://127.0.0.1:9"} +
            Words(c.env);
        const QString program = c.damage ? ProgramCopy(programs.path(), c.damage) : kExe;

        const auto run = testenv::Run(program, Words(c.args), 60000, env);
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        QByteArray expected = c.expectedErr;
        expected.replace("@TMP", QFile::encodeName(tmpDir));
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(expected)) << run.err.toStdString();
        EXPECT_EQ(
            QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }
}

} // namespace
