#include "app/update_check.h"

#include "settings/settings_store.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QFile>

namespace {

const QDateTime kNow(QDate(2026, 3, 7), QTime(9, 30));

class UpdateCheckStart : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(UserSettingsFile()); }
    static void WriteSettings(const QByteArray& body)
    {
        ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), "[General]\n" + body));
    }
    static QString LastUpdate()
    {
        const auto key = OpenSettingsKey();
        return key ? ReadStringValue(*key, "LastUpdate").value_or("<absent>") : "<no key>";
    }
};

TEST(UpdateDate, YearThenTwoDigitMonthAndDay)
{
    EXPECT_EQ(FormatUpdateDate(QDate(2026, 3, 7)), "20260307");
    EXPECT_EQ(FormatUpdateDate(QDate(2026, 12, 16)), "20261216");
    EXPECT_EQ(FormatUpdateDate(QDate(999, 1, 1)), "9990101");
}

TEST_F(UpdateCheckStart, MissingSettingsRefuseTheStart)
{
    EXPECT_FALSE(CheckForUpdate(kNow));
    EXPECT_FALSE(QFile::exists(UserSettingsFile())) << "nothing is created";
}

TEST_F(UpdateCheckStart, MissingOrOverlongAffIdRefusesTheStart)
{
    WriteSettings("LastUpdate=20260307\n");
    EXPECT_FALSE(CheckForUpdate(kNow));
    WriteSettings("AffID=" + QByteArray(260, 'a') + "\n");
    EXPECT_FALSE(CheckForUpdate(kNow));
    EXPECT_EQ(LastUpdate(), "<absent>");
    WriteSettings("AffID=" + QByteArray(259, 'a') + "\n");
    EXPECT_TRUE(CheckForUpdate(kNow));
}

TEST_F(UpdateCheckStart, FirstStartRecordsTodayWithoutAsking)
{
    WriteSettings("AffID=abc\n");
    EXPECT_TRUE(CheckForUpdate(kNow));
    EXPECT_EQ(LastUpdate(), "20260307");
}

// A hand-written file with a comma in its id, comments, unknown lines and a folder that is not
// UTF-8: the program starts, and recording the first day adds one line and changes nothing else.
TEST_F(UpdateCheckStart, FirstStartKeepsAHandWrittenFile)
{
    const QByteArray before =
        "# written by hand\n[General]\nAffID=abc,def\n"
        "DefaultDownloadFolder=/home/u/Vid\xe9os\nMystery = 42\n\n[Other]\nx=1\n";
    ASSERT_TRUE(testenv::WriteFile(UserSettingsFile(), before));
    EXPECT_TRUE(CheckForUpdate(kNow));
    EXPECT_EQ(testenv::ReadFile(UserSettingsFile()),
              QByteArray(before).replace("42\n", "42\nLastUpdate=20260307\n"));
}

TEST_F(UpdateCheckStart, SameDayGoesOnWithoutWriting)
{
    WriteSettings("AffID=abc\nLastUpdate=20260307\n");
    const QByteArray before = testenv::ReadFile(UserSettingsFile());
    EXPECT_TRUE(CheckForUpdate(kNow));
    EXPECT_EQ(testenv::ReadFile(UserSettingsFile()), before);
}

TEST_F(UpdateCheckStart, DatesCompareAsText)
{
    WriteSettings("AffID=abc\nLastUpdate=2026-03-07\n");
    EXPECT_TRUE(CheckForUpdate(kNow));
    EXPECT_EQ(LastUpdate(), "2026-03-07") << "another day is not recorded without an installer";
}

} // namespace
