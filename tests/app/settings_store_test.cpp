#include "settings/settings_store.h"

#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <climits>

namespace {

// Each test starts with no settings at all: no user file, no defaults file.
class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override
    {
        QFile::remove(UserSettingsFile());
        QFile::remove(SystemFile());
    }
    static QString SystemFile()
    {
        return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_DIRS")) + "/Vandrel/Vandrel.conf";
    }
};

TEST_F(SettingsStore, FilesLiveUnderTheXdgFolders)
{
    EXPECT_EQ(UserSettingsFile(),
              QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/Vandrel/Vandrel.conf");
    EXPECT_TRUE(DefaultsSettingsFile().isEmpty());
    ASSERT_TRUE(testenv::WriteFile(SystemFile(), "[General]\nAffID=sys\n"));
    EXPECT_EQ(DefaultsSettingsFile(), SystemFile());
}

TEST_F(SettingsStore, OpenFailsWithoutAnyFileAndCreateMakesTheUserFile)
{
    EXPECT_FALSE(OpenSettingsKey().has_value());
    const auto created = CreateSettingsKey();
    ASSERT_TRUE(created.has_value());
    EXPECT_TRUE(QFileInfo(UserSettingsFile()).isFile());
    EXPECT_TRUE(OpenSettingsKey().has_value());
    EXPECT_FALSE(ReadStringValue(*created, "AffID").has_value()) << "an absent value is an error";
}

TEST_F(SettingsStore, DefaultsFileAloneOpensAndFillsMissingValues)
{
    ASSERT_TRUE(
        testenv::WriteFile(SystemFile(), "[General]\nAffID=partner-7\nLastUpdate=20200101\n"));
    const auto key = OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(ReadStringValue(*key, "AffID").value_or("?"), "partner-7");

    // Writes go to the user's file and win over the defaults from then on.
    ASSERT_TRUE(WriteStringValue(*key, "LastUpdate", "20261206"));
    EXPECT_EQ(ReadStringValue(*key, "LastUpdate").value_or("?"), "20261206");
    EXPECT_TRUE(QFileInfo(UserSettingsFile()).isFile());
    EXPECT_TRUE(testenv::ReadFile(SystemFile()).contains("20200101"));
    EXPECT_EQ(ReadStringValue(*key, "AffID").value_or("?"), "partner-7");
}

TEST_F(SettingsStore, StringsComeBackExactlyAsWritten)
{
    const auto key = CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    const QStringList values = {
        "/home/u/My Videos, old",
        "a\"quoted\"b",
        "x=y;z#w",
        "C:\\dir\\sub\\",
        "  leading and trailing  ",
        "Vidéos/Видео/動画",
        "",
        "@Invalid()",
        "semi;colon",
        "#hash first",
        "tab\there",
        "back\\slash\\\\n",
    };
    for (int i = 0; i < values.size(); ++i)
        ASSERT_TRUE(WriteStringValue(*key, QString("v%1").arg(i), values[i]));
    // A fresh handle reads what is on disk.
    const auto reopened = OpenSettingsKey();
    ASSERT_TRUE(reopened.has_value());
    for (int i = 0; i < values.size(); ++i)
        EXPECT_EQ(ReadStringValue(*reopened, QString("v%1").arg(i)).value_or("<absent>"),
                  values[i]);
}

TEST_F(SettingsStore, CapacityCountsTheTerminator)
{
    const auto key = CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    ASSERT_TRUE(WriteStringValue(*key, "AffID", QString(259, 'a')));
    EXPECT_TRUE(ReadStringValue(*key, "AffID", 260).has_value());
    ASSERT_TRUE(WriteStringValue(*key, "AffID", QString(260, 'a')));
    EXPECT_FALSE(ReadStringValue(*key, "AffID", 260).has_value());
}

TEST_F(SettingsStore, HandWrittenListIsNotAString)
{
    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), "[General]\nDefaultDownloadFolder=a, b\n"));
    const auto key = OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_FALSE(ReadStringValue(*key, "DefaultDownloadFolder").has_value());
    EXPECT_EQ(GetDownloadFolder(&*key), GetDesktopFolder());
}

TEST_F(SettingsStore, DownloadFolderFallsBackToTheDesktopButKeepsAnEmptyValue)
{
    const QString desktop = GetDesktopFolder();
    ASSERT_FALSE(desktop.isEmpty());
    EXPECT_TRUE(QFileInfo(desktop).isDir()) << "the desktop folder is created when missing";
    EXPECT_EQ(GetDownloadFolder(nullptr), desktop);

    const auto key = CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_EQ(GetDownloadFolder(&*key), desktop);
    ASSERT_TRUE(WriteStringValue(*key, "DefaultDownloadFolder", ""));
    EXPECT_EQ(GetDownloadFolder(&*key), "");
    ASSERT_TRUE(WriteStringValue(*key, "DefaultDownloadFolder", "$HOME/clips"));
    EXPECT_EQ(GetDownloadFolder(&*key), "$HOME/clips") << "references are not expanded";
}

// A writer killed at any moment leaves either the old file or the new one, never a torn one.
TEST_F(SettingsStore, WritesAreAtomic)
{
    const auto key = CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    const QString big(20000, 'x');
    ASSERT_TRUE(WriteStringValue(*key, "DefaultDownloadFolder", "old" + big));

    for (int round = 0; round < 20; ++round) {
        const QString mark = QString("new%1").arg(round);
        QProcess writer;
        writer.start(QStringLiteral(SETTINGS_WRITER), {mark + big});
        ASSERT_TRUE(writer.waitForStarted());
        QThread::msleep(5 + round * 3);
        writer.kill();
        writer.waitForFinished();
        const auto reread = OpenSettingsKey();
        ASSERT_TRUE(reread.has_value());
        const QString value =
            ReadStringValue(*reread, "DefaultDownloadFolder", INT_MAX).value_or("<torn>");
        EXPECT_TRUE(value == "old" + big || value == mark + big) << value.left(10).toStdString();
    }
}

} // namespace
