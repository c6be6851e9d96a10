// Downloads into private files, the limits on them, the installer address rule and the version
// file's reading.
#include "app/update_download.h"
#include "app/update_version_file.h"
#include "loopback_http_server.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QTcpServer>

namespace {

using Answer = LoopbackHttpServer::Answer;

class Download : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = testenv::Home() + "/downloads";
        QDir(m_dir).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(m_dir));
    }
    QString Target() const { return m_dir + "/file.tmp"; }
    QUrl Url(const QString& path) const { return QUrl(m_server.Base() + path); }
    bool Fetch(const QString& path, DownloadLimits limits = {})
    {
        return DownloadToFile(m_manager, Url(path), Target(), limits);
    }
    QStringList Leftovers() const { return QDir(m_dir).entryList(QDir::Files | QDir::System); }

    LoopbackHttpServer m_server;
    QNetworkAccessManager m_manager;
    QString m_dir;
};

TEST_F(Download, WritesTheBodyIntoAnOwnerOnlyFile)
{
    const QByteArray body = QByteArray("[version]\nlast_version=2.0.0.0\n").repeated(500);
    m_server.Serve("/v", Answer::Body(body));
    ASSERT_TRUE(Fetch("/v"));
    EXPECT_EQ(testenv::ReadFile(Target()), body);
    const QFileDevice::Permissions mode = QFileInfo(Target()).permissions();
    EXPECT_EQ(mode & 0xF000, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_EQ(mode & 0x00FF, 0) << "nothing for the group or others";
}

TEST_F(Download, NeverTakesOverAnExistingFileOrLink)
{
    m_server.Serve("/v", Answer::Body("fresh"));
    ASSERT_TRUE(testenv::WriteFile(Target(), "someone else's"));
    EXPECT_FALSE(Fetch("/v"));
    EXPECT_EQ(testenv::ReadFile(Target()), "someone else's") << "left as it was";

    QFile::remove(Target());
    const QString elsewhere = m_dir + "/elsewhere";
    ASSERT_TRUE(QFile::link(elsewhere, Target()));
    EXPECT_FALSE(Fetch("/v"));
    EXPECT_FALSE(QFile::exists(elsewhere)) << "a planted link is not followed";
}

TEST_F(Download, FailuresLeaveNoFile)
{
    const QByteArray limit(kMaxVersionFileBytes, 'x');
    m_server.Serve("/missing-is-404", Answer::Body("no", 404));
    m_server.Serve("/error", Answer::Body("broken", 500));
    m_server.Serve("/at-limit", Answer::Body(limit));
    m_server.Serve("/over-limit", Answer::Body(limit + "y"));
    struct Case {
        const char* path;
        qint64 maxBytes;
        bool ok;
    } const cases[] = {
        {"/missing-is-404", -1, false},
        {"/error", -1, false},
        {"/at-limit", kMaxVersionFileBytes, true},
        {"/over-limit", kMaxVersionFileBytes, false},
        {"/over-limit", -1, true},
    };
    for (const Case& c : cases) {
        QFile::remove(Target());
        DownloadLimits limits;
        limits.maxBytes = c.maxBytes;
        EXPECT_EQ(Fetch(c.path, limits), c.ok) << c.path << " limit " << c.maxBytes;
        EXPECT_EQ(QFile::exists(Target()), c.ok) << c.path;
    }
}

TEST_F(Download, OnlyHttpAddressesThatCanResolve)
{
    const char* refused[] = {
        "file:///etc/hostname",
        "ftp://127.0.0.1/x",
        "https://update.vandrel.invalid/version/a/1.0.0.1?rnd=1",
        "http://invalid/x",
        "not a url",
    };
    for (const char* address : refused) {
        EXPECT_FALSE(DownloadToFile(m_manager, QUrl(address), Target(), {})) << address;
        EXPECT_TRUE(Leftovers().isEmpty()) << address;
    }
}

TEST_F(Download, UnreachableServerFails)
{
    quint16 closedPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        closedPort = probe.serverPort();
    }
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/v").arg(closedPort));
    EXPECT_FALSE(DownloadToFile(m_manager, url, Target(), {}));
    EXPECT_TRUE(Leftovers().isEmpty());
}

// Every limit ends a transfer that would otherwise go on (a slow one runs for minutes), and a
// transfer within all of them completes.
TEST_F(Download, LimitsEndATransfer)
{
    // One byte every 50 ms: never silent for long, but 3000 bytes take 150 s in all.
    m_server.Serve("/drip", Answer::Slow(QByteArray(3000, 'd'), 50));
    m_server.Serve("/short-drip", Answer::Slow(QByteArray(20, 's'), 50));
    m_server.Serve("/never", Answer::Never());
    Answer unannounced = Answer::Body(QByteArray(5000, 'u'));
    unannounced.noLength = true;
    m_server.Serve("/unannounced", unannounced);
    m_server.Serve("/announced", Answer::Body(QByteArray(5000, 'a')));
    struct Row {
        const char* name;
        const char* path;
        int stallMs;
        int totalMs;
        qint64 maxBytes;
        bool ok;
    } const rows[] = {
        {"a silent server is given up", "/never", 500, -1, -1, false},
        {"a steady drip is given up at the overall limit", "/drip", 3000, 1000, -1, false},
        {"a drip that ends within the limits completes", "/short-drip", 3000, 30000, -1, true},
        {"an announced size over the cap fails", "/announced", 3000, 30000, 4999, false},
        {"an unannounced body over the cap fails", "/unannounced", 3000, 30000, 4999, false},
        {"a body at the cap completes", "/unannounced", 3000, 30000, 5000, true},
    };
    for (const Row& row : rows) {
        QFile::remove(Target());
        const qsizetype requestsBefore = m_server.Requests().size();
        DownloadLimits limits;
        limits.stallTimeoutMs = row.stallMs;
        limits.totalTimeoutMs = row.totalMs;
        limits.maxBytes = row.maxBytes;
        EXPECT_EQ(Fetch(row.path, limits), row.ok) << row.name;
        EXPECT_EQ(Leftovers().size(), row.ok ? 1 : 0) << row.name;
        // The transfer was under way (Qt may send a request again on a fresh connection).
        EXPECT_GT(m_server.Requests().size(), requestsBefore) << row.name;
    }
}

// Redirects stay on the first address's host and never leave https; the first address itself
// must be https or a literal loopback address.
TEST_F(Download, RedirectsStayOnTheTrustedHost)
{
    // Another host that still answers: a second server on 127.0.0.2.
    LoopbackHttpServer other(QHostAddress(QStringLiteral("127.0.0.2")));
    other.Serve("/file", Answer::Body("elsewhere"));
    m_server.Serve("/file", Answer::Body("#!/bin/sh\n"));
    m_server.Serve("/absolute", Answer::Redirect(Url("/file").toEncoded()));
    m_server.Serve("/relative", Answer::Redirect("file"));
    m_server.Serve("/to-other-host", Answer::Redirect(other.Base().toUtf8() + "/file"));
    // "localhost" is a name, not a literal address: not trusted.
    const QString byName = QStringLiteral("http://localhost:%1/file-by-name").arg(m_server.Port());
    m_server.Serve("/file-by-name", Answer::Body("by name"));
    m_server.Serve("/to-name", Answer::Redirect(byName.toUtf8()));
    struct Row {
        const char* path;
        bool ok;
    } const rows[] = {
        {"/absolute", true},
        {"/relative", true},
        {"/to-other-host", false},
        {"/to-name", false},
    };
    for (const Row& row : rows) {
        QFile::remove(Target());
        EXPECT_EQ(Fetch(row.path), row.ok) << row.path;
        EXPECT_EQ(Leftovers().size(), row.ok ? 1 : 0) << row.path;
        if (row.ok) {
            EXPECT_EQ(testenv::ReadFile(Target()), "#!/bin/sh\n") << row.path;
        }
    }
    EXPECT_TRUE(other.Requests().isEmpty()) << "the other host was never asked";
    EXPECT_EQ(m_server.Requests().count("/file-by-name"), 0) << "nor the name";

    const qsizetype asked = m_server.Requests().size();
    const QUrl named(QStringLiteral("http://localhost:%1/file").arg(m_server.Port()));
    EXPECT_FALSE(DownloadToFile(m_manager, named, Target(), {}));
    EXPECT_EQ(m_server.Requests().size(), asked) << "an untrusted first address is not fetched";
}

TEST(UpdateUrl, HttpsOrLiteralLoopbackOnly)
{
    struct Case {
        const char* url;
        bool trusted;
    } const cases[] = {
        {"https://updates.example.org/setup.exe", true},
        {"HTTPS://updates.example.org/setup.exe", true},
        {"https://127.0.0.1:8443/setup.exe", true},
        {"http://127.0.0.1:8080/setup.exe", true},
        {"http://127.9.8.7/setup.exe", true},
        {"http://[::1]:8080/setup.exe", true},
        {"http://updates.example.org/setup.exe", false},
        {"http://localhost/setup.exe", false},
        {"http://192.168.1.10/setup.exe", false},
        {"http://127.0.0.1.example.org/setup.exe", false},
        {"ftp://127.0.0.1/setup.exe", false},
        {"file:///tmp/setup.exe", false},
        {"https:///setup.exe", false},
        {"setup.exe", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsTrustedUpdateUrl(QUrl(c.url, QUrl::StrictMode)), c.trusted) << c.url;
}

TEST(UpdateUrl, RedirectsKeepTheHostAndHttps)
{
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        bool allowed;
    } const cases[] = {
        {"same host, another path", "https://u.example.org/a", "https://u.example.org/b", true},
        {"host names in any case", "https://u.example.org/a", "https://U.Example.ORG/b", true},
        {"another port on the same host", "https://u.example.org/a", "https://u.example.org:8443/",
         true},
        {"http loopback up to https", "http://127.0.0.1:80/a", "https://127.0.0.1/b", true},
        {"another https host", "https://u.example.org/a", "https://cdn.example.net/b", false},
        {"down to http on the same host", "https://127.0.0.1/a", "http://127.0.0.1/b", false},
        {"another loopback address", "http://127.0.0.1/a", "http://127.0.0.2/b", false},
        {"to a scheme that is not http", "https://u.example.org/a", "file:///etc/passwd", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAllowedRedirect(QUrl(c.from), QUrl(c.to)), c.allowed) << c.name;
}

TEST(VersionFile, ReadLikeAProfile)
{
    struct Case {
        const char* name;
        QByteArray text;
        const char* version;
        const char* url;
    } const cases[] = {
        {"both keys", "[version]\nlast_version=1.2.3.4\nlast_version_url=https://h/i.exe\n",
         "1.2.3.4", "https://h/i.exe"},
        {"no last_version", "[version]\nlast_version_url=https://h/i.exe\n", "0.0.0.0",
         "https://h/i.exe"},
        {"no section", "last_version=1.2.3.4\n", "0.0.0.0", ""},
        {"empty file", "", "0.0.0.0", ""},
        {"not a profile at all", "<html><body>502 Bad Gateway</body></html>", "0.0.0.0", ""},
        {"names in any case, blanks, CRLF",
         "\xEF\xBB\xBF[ Version ]\r\n  LAST_VERSION = 1.0.0.2 "
         "\r\nLast_Version_Url=\thttps://h/i\r\n",
         "1.0.0.2", "https://h/i"},
        {"quotes dropped", "[version]\nlast_version=\"1.0.0.3\"\nlast_version_url='https://h/q'\n",
         "1.0.0.3", "https://h/q"},
        {"comments and other sections",
         "[other]\nlast_version=9.9.9.9\n[version]\n;last_version=8.8.8.8\nlast_version=1.1.1.1\n",
         "1.1.1.1", ""},
        {"first key and first section win",
         "[version]\nlast_version=1.0.0.5\nlast_version=1.0.0.6\n[version]\nlast_version_url=x\n",
         "1.0.0.5", ""},
        {"empty values", "[version]\nlast_version=\nlast_version_url=\n", "", ""},
        {"values that do not fit are missing",
         "[version]\nlast_version=" + QByteArray(260, '1') + "\nlast_version_url=https://h/" +
             QByteArray(250, 'u') + "\n",
         "0.0.0.0", ""},
    };
    const QString path = testenv::Home() + "/version.ini";
    for (const Case& c : cases) {
        ASSERT_TRUE(testenv::WriteFile(path, c.text));
        const auto info = ReadVersionFile(path);
        ASSERT_TRUE(info.has_value()) << c.name;
        EXPECT_EQ(info->lastVersion, QString::fromLatin1(c.version)) << c.name;
        EXPECT_EQ(info->lastVersionUrl, QString::fromLatin1(c.url)) << c.name;
    }

    const QByteArray keys = "[version]\nlast_version=1.2.3.4\n";
    ASSERT_TRUE(
        testenv::WriteFile(path, keys + QByteArray(kMaxVersionFileBytes - keys.size(), ';')));
    EXPECT_TRUE(ReadVersionFile(path).has_value()) << "64 KiB is still a version file";
    ASSERT_TRUE(testenv::WriteFile(path, keys + QByteArray(kMaxVersionFileBytes, ';')));
    EXPECT_FALSE(ReadVersionFile(path).has_value()) << "larger is not";
    EXPECT_FALSE(ReadVersionFile(testenv::Home() + "/no-such.ini").has_value());
}

} // namespace
