// The parts of the update address: the time stamp, the address itself, the server base.
#include "app/update_check.h"

#include <gtest/gtest.h>

#include <QTimeZone>
#include <QUrl>

#include <cstdlib>

namespace {

// 100-ns ticks from 1601 to 1970.
constexpr qint64 kEpochTicks = 116444736000000000;

// The same fields read as UTC through Qt's own epoch arithmetic.
qint64 TicksViaEpoch(const QDateTime& local)
{
    const QDateTime utc(local.date(), local.time(), Qt::UTC);
    return kEpochTicks + utc.toMSecsSinceEpoch() * 10000;
}

TEST(UpdateTimeStamp, CountsFieldsFrom1601)
{
    struct Case {
        QDateTime when;
        qint64 ticks;
    } const cases[] = {
        {QDateTime(QDate(1601, 1, 1), QTime(0, 0)), 0},
        {QDateTime(QDate(1601, 1, 1), QTime(0, 0, 0, 1)), 10000},
        {QDateTime(QDate(1601, 1, 2), QTime(0, 0)), 864000000000},
        {QDateTime(QDate(1600, 12, 31), QTime(23, 59, 59)), -10000000},
        {QDateTime(QDate(1970, 1, 1), QTime(0, 0)), kEpochTicks},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UpdateTimeStamp(c.when), c.ticks) << c.when.toString().toStdString();

    const QDateTime later(QDate(2026, 3, 7), QTime(9, 30, 15, 250));
    EXPECT_EQ(UpdateTimeStamp(later), TicksViaEpoch(later));
    const QDateTime leapDay(QDate(2024, 2, 29), QTime(23, 59, 59, 999));
    EXPECT_EQ(UpdateTimeStamp(leapDay), TicksViaEpoch(leapDay));
}

TEST(UpdateTimeStamp, TakesTheFieldsWithoutZoneConversion)
{
    const QDate date(2026, 7, 1);
    const QTime time(12, 0);
    const qint64 ticks = UpdateTimeStamp(QDateTime(date, time, Qt::UTC));
    EXPECT_EQ(UpdateTimeStamp(QDateTime(date, time, QTimeZone(3600 * 9))), ticks);
    EXPECT_EQ(UpdateTimeStamp(QDateTime(date, time, QTimeZone(-3600 * 5))), ticks);
    // The same moment seen in two zones gives two values.
    const QDateTime moment(date, time, Qt::UTC);
    const QDateTime tokyo = moment.toTimeZone(QTimeZone(3600 * 9));
    EXPECT_EQ(UpdateTimeStamp(tokyo) - UpdateTimeStamp(moment), qint64(3600) * 9 * 10000000);
}

TEST(UpdateAddress, PathAndQueryAfterTheBase)
{
    struct Case {
        const char* affId;
        const char* version;
        qint64 stamp;
        const char* expected;
    } const cases[] = {
        {"aff1", "1.0.0.1", 42, "http://127.0.0.1:8080/version/aff1/1.0.0.1?rnd=42"},
        {"aff1", "", 7, "http://127.0.0.1:8080/version/aff1/?rnd=7"},
        {"x", "1.0.0.1", -5, "http://127.0.0.1:8080/version/x/1.0.0.1?rnd=-5"},
        {"a b/c?d#e%", "1.0.0.1", 1,
         "http://127.0.0.1:8080/version/a%20b%2Fc%3Fd%23e%25/1.0.0.1?rnd=1"},
    };
    for (const Case& c : cases) {
        const QString address =
            MakeUpdateAddress("http://127.0.0.1:8080", c.affId, c.version, c.stamp);
        EXPECT_EQ(address, QString::fromLatin1(c.expected)) << c.affId;
        const QUrl url(address);
        EXPECT_TRUE(url.isValid()) << c.affId;
        const QString segment = url.path(QUrl::FullyEncoded).section(u'/', 2, 2);
        EXPECT_EQ(QUrl::fromPercentEncoding(segment.toLatin1()), QString::fromUtf8(c.affId))
            << "the id stays one path segment";
    }
}

TEST(UpdateServerBase, EnvironmentReplacesTheConfiguredAddress)
{
    unsetenv("VANDREL_UPDATE_SERVER");
    const QUrl configured(UpdateServerBase());
    EXPECT_TRUE(configured.isValid());
    EXPECT_FALSE(configured.host().isEmpty());
    EXPECT_TRUE(configured.path().isEmpty());

    setenv("VANDREL_UPDATE_SERVER", "http://127.0.0.1:1234/", 1);
    EXPECT_EQ(UpdateServerBase(), "http://127.0.0.1:1234");
    setenv("VANDREL_UPDATE_SERVER", "https://updates.example.org", 1);
    EXPECT_EQ(UpdateServerBase(), "https://updates.example.org");
    unsetenv("VANDREL_UPDATE_SERVER");
}

} // namespace
