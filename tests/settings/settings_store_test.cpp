// The settings store on files the tests write: what reads back, what a write changes, and a
// writer killed mid-write.
#include "settings/settings_store.h"

#include "platform/file_name.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <climits>
#include <optional>

namespace {

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override { QFile::remove(settings::UserSettingsFile()); }
};

// Values written by this store and by the QSettings-based store of earlier builds read back
// exactly as written.
TEST_F(SettingsStore, StringsComeBackExactlyAsWritten)
{
    // Octal escapes end after three digits: "\0011" is 0x01 then '1'.
    QStringList values = {"/home/u/My Videos, old",
                          "a\"quoted\"b",
                          "x=y;z#w",
                          "C:\\dir\\sub\\",
                          "  leading and trailing  ",
                          "Vidéos/Видео/動画",
                          "",
                          "@Invalid()",
                          "tab\there\n",
                          "back\\slash\\\\n",
                          "a\0011",
                          "\\x41"};
    values << QString::fromLatin1("nul\00001", 6);
    for (const bool byQSettings : {false, true}) {
        SCOPED_TRACE(byQSettings ? "written by QSettings" : "written by the store");
        QFile::remove(settings::UserSettingsFile());
        if (byQSettings) {
            QSettings old(settings::UserSettingsFile(), QSettings::IniFormat);
            for (int i = 0; i < values.size(); ++i)
                old.setValue(QString("v%1").arg(i), values[i]);
        } else {
            const auto key = settings::CreateSettingsKey();
            ASSERT_TRUE(key.has_value());
            for (int i = 0; i < values.size(); ++i)
                ASSERT_TRUE(settings::WriteStringValue(*key, QString("v%1").arg(i), values[i]));
        }
        const auto key = settings::OpenSettingsKey();
        ASSERT_TRUE(key.has_value());
        for (int i = 0; i < values.size(); ++i)
            EXPECT_EQ(settings::ReadStringValue(*key, QString("v%1").arg(i), INT_MAX)
                          .value_or("<absent>"),
                      values[i])
                << i;
    }
}

// Files the user (or an older build) wrote, read value by value.
TEST_F(SettingsStore, HandWrittenValuesReadAsTheirText)
{
    struct Row {
        const char* name;
        QByteArray file;
        std::optional<QByteArray> folder; // the expected file-name bytes; nullopt: absent
    } const rows[] = {
        {"commas are part of the text", "[General]\nDefaultDownloadFolder=a,b, c\n", "a,b, c"},
        {"broken sequences next to good letters",
         "[General]\nDefaultDownloadFolder=\xc3\xa9\xc3\x28\xed\xa0\x80\xf8\x88\x80\x80\x80\xe9\n",
         "\xc3\xa9\xc3\x28\xed\xa0\x80\xf8\x88\x80\x80\x80\xe9"},
        {"quotes, escapes and blanks as QSettings reads them",
         "[general]\n  DefaultDownloadFolder = \"  a;b \" \\x41\\t \n", "  a;b A\t "},
        {"other sections and comments are not general",
         "[Other]\nDefaultDownloadFolder=no\n[General]\n;DefaultDownloadFolder=no\n"
         "#DefaultDownloadFolder=no\n",
         std::nullopt},
        {"a notation QSettings never wrote for a text stays text",
         "[General]\nDefaultDownloadFolder=@Invalid()\n", "@Invalid()"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(), row.file));
        const auto key = settings::OpenSettingsKey();
        ASSERT_TRUE(key.has_value());
        const auto value = settings::ReadStringValue(*key, "DefaultDownloadFolder", INT_MAX);
        ASSERT_EQ(value.has_value(), row.folder.has_value()) << row.name;
        if (value) {
            EXPECT_EQ(platform::EncodeFileName(*value).toHex(), row.folder->toHex()) << row.name;
        }
    }
}

TEST_F(SettingsStore, WritesChangeOnlyTheirLine)
{
    struct Row {
        const char* name;
        QByteArray before;
        const char* value;
        QByteArray after;
    } const rows[] = {
        {"replaced in place among comments and unknown lines",
         "; mine\n[General]\nAffID=\xff\xfe id\n# note\nLastUpdate=1999\nOdd line\n[Other]\nk=v\n",
         "20260307",
         "; mine\n[General]\nAffID=\xff\xfe id\n# note\nLastUpdate=20260307\nOdd "
         "line\n[Other]\nk=v\n"},
        {"added after a [General] with no lines yet", "[Other]\nk=v\n[General]\n[Third]\n",
         "20260307", "[Other]\nk=v\n[General]\nLastUpdate=20260307\n[Third]\n"},
        {"a new [General] when there is none", "[Other]\nk=v", "20260307",
         "[Other]\nk=v\n\n[General]\nLastUpdate=20260307\n"},
        {"keys before any section take the new one", "AffID=x\r\n[Other]\r\nk=v\r\n", "20260307",
         "AffID=x\r\nLastUpdate=20260307\r\n[Other]\r\nk=v\r\n"},
        {"a comment after the old value stays", "[General]\nLastUpdate=1999 ; keep\n", "2026",
         "[General]\nLastUpdate=2026; keep\n"},
        {"a value over several lines is replaced whole",
         "[General]\nLastUpdate=\"a\nb\"\nAffID=x\n", "2026",
         "[General]\nLastUpdate=2026\nAffID=x\n"},
        {"the line that is read is the one replaced",
         "[General]\nLastUpdate=1\n[General]\nLastUpdate=2\n", "3",
         "[General]\nLastUpdate=1\n[General]\nLastUpdate=3\n"},
        {"escaped as QSettings escapes", "[General]\n",
         " a;b\\\"c\x01"
         "1 ",
         "[General]\nLastUpdate=\" a;b\\\\\\\"c\\x1\\x31 \"\n"},
        // Added at the end, the line would belong to a last line left open.
        {"first when the file ends inside quotes", "AffID=x\nNote=\"open", "2026",
         "LastUpdate=2026\nAffID=x\nNote=\"open"},
        {"first, after the byte order mark, when the file ends with a backslash",
         "\xEF\xBB\xBF[General]\nAffID=x\\", "2026",
         "\xEF\xBB\xBFLastUpdate=2026\n[General]\nAffID=x\\"},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(), row.before));
        const auto key = settings::OpenSettingsKey();
        ASSERT_TRUE(key.has_value());
        ASSERT_TRUE(settings::WriteStringValue(*key, "LastUpdate", QString::fromUtf8(row.value)))
            << row.name;
        EXPECT_EQ(testenv::ReadFile(settings::UserSettingsFile()), row.after) << row.name;
        EXPECT_EQ(settings::ReadStringValue(*key, "LastUpdate").value_or("<absent>"),
                  QString::fromUtf8(row.value))
            << row.name;
    }
}

// A file far larger than any settings file is neither read whole nor rewritten.
TEST_F(SettingsStore, OversizedFileIsLeftAlone)
{
    const QByteArray huge = "[General]\nLastUpdate=1\n" + QByteArray(1024 * 1024, ';');
    ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(), huge));
    const auto key = settings::OpenSettingsKey();
    ASSERT_TRUE(key.has_value());
    EXPECT_FALSE(settings::ReadStringValue(*key, "LastUpdate").has_value());
    EXPECT_FALSE(settings::WriteStringValue(*key, "LastUpdate", "2"));
    EXPECT_EQ(testenv::ReadFile(settings::UserSettingsFile()), huge);
}

// A download folder that is not UTF-8 is written back as the same bytes (the download page
// writes back the folder it read).
TEST_F(SettingsStore, DownloadFolderThatIsNotUtf8)
{
    const auto key = settings::CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    const QByteArray file = "[General]\n; mine\nDefaultDownloadFolder=/home/u/Vid\xe9os, old\n";
    ASSERT_TRUE(testenv::WriteFile(settings::UserSettingsFile(), file));
    const QString folder = settings::GetDownloadFolder(&*key);
    EXPECT_EQ(platform::EncodeFileName(folder), "/home/u/Vid\xe9os, old");
    ASSERT_TRUE(settings::WriteStringValue(*key, "DefaultDownloadFolder", folder));
    EXPECT_EQ(testenv::ReadFile(settings::UserSettingsFile()), file) << "not even a byte changes";
    ASSERT_TRUE(settings::WriteStringValue(*key, "DefaultDownloadFolder", "/tmp"));
    ASSERT_TRUE(settings::WriteStringValue(*key, "DefaultDownloadFolder", folder));
    EXPECT_EQ(platform::EncodeFileName(settings::GetDownloadFolder(&*key)),
              "/home/u/Vid\xe9os, old");
}

TEST_F(SettingsStore, WritesAreAtomic)
{
    const auto key = settings::CreateSettingsKey();
    ASSERT_TRUE(key.has_value());
    const QString big(20000, 'x');
    ASSERT_TRUE(settings::WriteStringValue(*key, "DefaultDownloadFolder", "old" + big));

    for (int round = 0; round < 20; ++round) {
        const QString mark = QString("new%1").arg(round);
        QProcess writer;
        writer.start(QStringLiteral(SETTINGS_WRITER), {mark + big});
        ASSERT_TRUE(writer.waitForStarted());
        QThread::msleep(5 + round * 3);
        writer.kill();
        writer.waitForFinished();
        const auto reread = settings::OpenSettingsKey();
        ASSERT_TRUE(reread.has_value());
        const QString value =
            settings::ReadStringValue(*reread, "DefaultDownloadFolder", INT_MAX).value_or("<torn>");
        // A writer killed before its first write leaves an earlier round's value: whole too.
        EXPECT_TRUE(QRegularExpression("^(old|new[0-9]+)x{20000}!?$").match(value).hasMatch())
            << value.left(10).toStdString();
    }
}

} // namespace
