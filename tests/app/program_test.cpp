// The built program as a user starts it.
#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QElapsedTimer>
#include <QFile>

namespace {

const QString kExe = QStringLiteral(VANDREL_EXE);

// No display in any of these runs: a run that ends before a window must not need one.
const QStringList kNoDisplay = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

TEST(Program, VersionAndHelp)
{
    const auto version = testenv::Run(kExe, {"--version"}, 10000, kNoDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "Vandrel 1.0.0.1\n");
    const auto help = testenv::Run(kExe, {"--help"}, 10000, kNoDisplay);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--download-mp3=URL"));
    EXPECT_TRUE(help.out.contains("--update"));
}

TEST(Program, WithoutSettingsEndsAtOnceAndSaysWhichFile)
{
    QFile::remove(UserSettingsFile());
    QElapsedTimer timer;
    timer.start();
    const auto run = testenv::Run(kExe, {}, 10000, kNoDisplay);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(UserSettingsFile().toUtf8())) << run.err.toStdString();
}

TEST(Program, UpdateFlagRecordsTheFirstDay)
{
    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), "[General]\nAffID=test\n"));
    const auto run = testenv::Run(kExe, {"--update"}, 10000, kNoDisplay);
    EXPECT_EQ(run.exitCode, 0);
    const auto key = OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    const QString today = QDate::currentDate().toString("yyyyMMdd");
    EXPECT_EQ(ReadStringValue(*key, "LastUpdate").value_or("<absent>"), today);
}

} // namespace
