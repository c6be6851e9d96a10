// Downloads into private files, the limits on them, the trusted-address and redirect rules, and
// the version file's reading.
#include "loopback_http_server.h"
#include "test_env.h"
#include "update/update_download.h"
#include "update/update_version_file.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using namespace update;

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
    bool Fetch(const QString& path) { return DownloadToFile(Url(path), Target(), {}); }
    QStringList Leftovers() const { return QDir(m_dir).entryList(QDir::Files | QDir::System); }

    LoopbackHttpServer m_server;
    QString m_dir;
};

TEST_F(Download, WritesOnlyANewPrivateFile)
{
    const QByteArray body = QByteArray("[version]\nlast_version=2.0.0.0\n").repeated(500);
    m_server.Serve("/v", Answer::Body(body));
    ASSERT_TRUE(Fetch("/v"));
    EXPECT_EQ(testenv::ReadFile(Target()), body);
    EXPECT_EQ(QFileInfo(Target()).permissions() & 0xF0FF,
              QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    ASSERT_TRUE(testenv::WriteFile(Target(), "someone else's"));
    EXPECT_FALSE(Fetch("/v"));
    EXPECT_EQ(testenv::ReadFile(Target()), "someone else's") << "left as it was";
    QFile::remove(Target());
    const QString elsewhere = m_dir + "/elsewhere";
    ASSERT_TRUE(QFile::link(elsewhere, Target()));
    EXPECT_FALSE(Fetch("/v"));
    EXPECT_FALSE(QFile::exists(elsewhere)) << "a planted link is not followed";
}

// Every failure leaves no file; a body at its cap completes, an unannounced one past it fails;
// redirects stay on the host. (Silent, endless and oversized answers: the update check's table.)
TEST_F(Download, OutcomesAndLimits)
{
    const QByteArray atLimit(kMaxVersionFileBytes, 'x');
    m_server.Serve("/at-limit", Answer::Body(atLimit));
    Answer unannounced = Answer::Body(QByteArray(5000, 'u'));
    unannounced.noLength = true;
    m_server.Serve("/unannounced", unannounced);
    m_server.Serve("/absolute", Answer::Redirect(Url("/at-limit").toEncoded()));
    m_server.Serve("/relative", Answer::Redirect("at-limit"));
    // "localhost" is a name, not a literal address: not trusted.
    const QString byName = QStringLiteral("http://localhost:%1/by-name").arg(m_server.Port());
    m_server.Serve("/to-name", Answer::Redirect(byName.toUtf8()));
    const QString base = m_server.Base();
    struct Row {
        const char* name;
        QString url;
        qint64 maxBytes;
        bool ok;
    } const rows[] = {
        {"a body at the version file's cap completes", base + "/at-limit", kMaxVersionFileBytes,
         true},
        {"an unannounced body over the cap fails", base + "/unannounced", 4999, false},
        {"a file address is not fetched", "file:///etc/hostname", -1, false},
        {"plain http to a name is not fetched", byName, -1, false},
        {"a name under .invalid is never looked up",
         "https://update.vandrel.invalid/version/a/1.0.0.1?rnd=1", -1, false},
        {"text that is no address", "not a url", -1, false},
        {"an absolute redirect on the host is followed", base + "/absolute", -1, true},
        {"a redirect to a name over http is not", base + "/to-name", -1, false},
    };
    for (const Row& row : rows) {
        QFile::remove(Target());
        const DownloadLimits limits{
            .stallTimeoutMs = 3000, .totalTimeoutMs = 30000, .maxBytes = row.maxBytes};
        EXPECT_EQ(DownloadToFile(QUrl(row.url), Target(), limits), row.ok) << row.name;
        EXPECT_EQ(Leftovers().size(), row.ok ? 1 : 0) << row.name;
    }
    EXPECT_EQ(m_server.Requests().count("/by-name"), 0) << "the name was never asked";
    QFile::remove(Target());
    ASSERT_TRUE(Fetch("/relative"));
    EXPECT_EQ(testenv::ReadFile(Target()), atLimit) << "a relative redirect fetches its target";
}

// Addresses are trusted over https or as literal loopback addresses; redirects keep the host and
// never leave https.
TEST(UpdateUrl, TrustAndRedirects)
{
    const struct {
        const char* url;
        bool trusted;
    } addresses[] = {
        {"https://updates.example.org/setup.exe", true},
        {"http://[::1]:8080/setup.exe", true},
        {"http://[::ffff:10.0.0.1]/setup.exe", false},
        {"http://127.0.0.1.example.org/setup.exe", false},
        {"https:///setup.exe", false},
    };
    for (const auto& a : addresses)
        EXPECT_EQ(IsTrustedUpdateUrl(QUrl(a.url, QUrl::StrictMode)), a.trusted) << a.url;

    const struct {
        const char* name;
        const char* from;
        const char* to;
        bool allowed;
    } redirects[] = {
        {"host names in any case", "https://u.example.org/a", "https://U.Example.ORG/b", true},
        {"another port on the same host", "https://u.example.org/a", "https://u.example.org:8443/",
         true},
        {"down to http on the same host", "https://127.0.0.1/a", "http://127.0.0.1/b", false},
        {"to a scheme that is not http", "https://u.example.org/a", "file:///etc/passwd", false},
    };
    for (const auto& c : redirects)
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
}

} // namespace
