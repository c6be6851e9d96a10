// The built program as a user starts it: its own options, and starts that end early with one
// line on standard error.
#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QString kExe = QStringLiteral(VANDREL_EXE);

QStringList Words(const char* text)
{
    return QString::fromLatin1(text).split(u' ', Qt::SkipEmptyParts);
}

// Runs that end before any window need no display.
const QStringList kNoDisplay = Words("DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM");

TEST(Program, RunsWithoutAWindowNeedNoDisplay)
{
    const auto version = testenv::Run(kExe, {"--version"}, 10000, kNoDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Vandrel 1.0.0.1\n");
    const auto help = testenv::Run(kExe, {"--help"}, 10000, kNoDisplay);
    EXPECT_TRUE(help.out.contains("--download-mp3=URL") && help.out.contains("--update"));

    QFile::remove(settings::UserSettingsFile());
    const auto refused = testenv::Run(kExe, {}, 10000, kNoDisplay);
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains(settings::UserSettingsFile().toUtf8()))
        << "it says which file";

    // The update flag runs only the check: without a display, and without a word about one.
    ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(), "[General]\nAffID=test\n"));
    const auto update = testenv::Run(kExe, {"--update"}, 10000, kNoDisplay);
    EXPECT_EQ(update.exitCode, 0);
    EXPECT_EQ(update.err, "");
    const auto key = settings::OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(settings::ReadStringValue(*key, "LastUpdate").value_or("<absent>"),
              QDate::currentDate().toString("yyyyMMdd"))
        << "the first day is recorded";
}

// A copy of the built program cut before its payload's marker, made executable.
QString ProgramWithoutPayload(const QString& folder)
{
    QByteArray program = testenv::ReadFile(kExe);
    qsizetype marker = 0;
    while (marker + 4 <= program.size() && program.mid(marker, 4) != "\x0D\xF0\xAD\xDE")
        marker += 4;
    EXPECT_LT(marker + 4, program.size());
    program.truncate(marker);
    const QString path = folder + "/vandrel-copy";
    EXPECT_TRUE(testenv::WriteFile(path, program));
    QFile(path).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// Each of these starts ends with exit code 1, one line on standard error, and nothing left in
// the temporary folder.
TEST(Program, StartFaultsEndWithOneLineAndLeaveNothing)
{
    struct Row {
        const char* name;
        const char* env;             // blank-separated; "NAME=value" sets, "NAME" removes
        QByteArray expectedErr;      // "@TMP" stands for TMPDIR
        bool lastUpdateToday = true; // false: the check would ask
        bool cutPayload = false;
        bool tmpMissing = false;  // TMPDIR names a folder that does not exist
        QByteArray settings = {}; // the settings file's bytes; empty: an AffID and LastUpdate
    } const rows[] = {
        {"display not set", "DISPLAY QT_QPA_PLATFORM",
         "vandrel: cannot open the display (DISPLAY is not set)\n"},
        // A display number that no X server on this machine serves.
        {"the update question without a display", "DISPLAY=:1999 QT_QPA_PLATFORM",
         "vandrel: cannot open the display \":1999\" (DISPLAY)\n", false},
        {"the temporary folder is missing", "QT_QPA_PLATFORM=offscreen DISPLAY",
         "vandrel: cannot make the workspace in the temporary folder \"@TMP\" (TMPDIR): "
         "No such file or directory\n",
         true, false, true},
        {"the payload is missing", "QT_QPA_PLATFORM=offscreen DISPLAY",
         "vandrel: the tools carried in the program file could not be unpacked", true, true},
        {"the settings file cannot be read", "QT_QPA_PLATFORM=offscreen DISPLAY",
         "vandrel: cannot read the settings file @SETTINGS: larger than 1 MiB\n", true, false,
         false, "[General]\nAffID=test\n" + QByteArray(1024 * 1024, ';')},
    };
    for (const Row& c : rows) {
        SCOPED_TRACE(c.name);
        const QDate day =
            c.lastUpdateToday ? QDate::currentDate() : QDate::currentDate().addDays(-1);
        ASSERT_TRUE(testenv::WriteFile(
            settings::UserSettingsFile(),
            !c.settings.isEmpty()
                ? c.settings
                : "[General]\nAffID=test\nLastUpdate=" + day.toString("yyyyMMdd").toUtf8() + "\n"));
        QTemporaryDir tmp, runtime, programs;
        QFile::setPermissions(runtime.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString tmpDir = c.tmpMissing ? tmp.filePath("missing") : tmp.path();
        const QStringList env =
            QStringList{"TMPDIR=" + tmpDir, "XDG_RUNTIME_DIR=" + runtime.path(), "WAYLAND_DISPLAY",
                        "XDG_SESSION_TYPE", "VANDREL_UPDATE_SERVER=http://127.0.0.1:9"} +
            Words(c.env);
        const QString program = c.cutPayload ? ProgramWithoutPayload(programs.path()) : kExe;

        const auto run = testenv::Run(program, {}, 60000, env);
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        QByteArray expected = c.expectedErr;
        expected.replace("@TMP", QFile::encodeName(tmpDir))
            .replace("@SETTINGS", QFile::encodeName(settings::UserSettingsFile()));
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.startsWith(expected)) << run.err.toStdString();
        EXPECT_EQ(
            QDir(tmp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }
}

} // namespace
