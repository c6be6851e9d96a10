// The real downloader (yt-dlp) run through CFileRedirector against the loopback server: the
// names it reports and the lines it shows are what a job gets.
#include "download/file_redirector.h"
#include "download/job_text_event.h"

#include "job_text_sink.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

using Sink = JobTextSink;

// Makes a folder the current directory for one test, as a job does, and restores it.
class InFolder {
public:
    explicit InFolder(const QString& path) : m_old(QDir::currentPath()) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(m_old); }

private:
    QString m_old;
};

struct Result {
    Texts names;
    Texts posted;
};

// The job's downloader command line, with options that keep the tool on the loopback server
// and away from the user's configuration and cache.
Result Download(const QString& url)
{
    Sink sink;
    CFileRedirector r(true, &sink);
    const QString commandLine =
        QStringLiteral("yt-dlp --ignore-config --proxy \"\" --no-cache-dir -ic "
                       "--restrict-filenames ") +
        url;
    EXPECT_TRUE(r.Run(commandLine));
    EXPECT_TRUE(r.FinishedEvent().Wait(120000ms)) << "the downloader did not end";
    QCoreApplication::sendPostedEvents(&sink, WM_JOB_TEXT);
    Result result;
    for (const QByteArray& n : r.Names())
        result.names.push_back(n.toStdString());
    result.posted = sink.texts;
    return result;
}

class Downloader : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
    InFolder m_in{m_folder.path()};
};

TEST_F(Downloader, ReportsTheDownloadedFileAndItsProgress)
{
    const Result first = Download(testenv::HttpBase() + QStringLiteral("/clip.mp4"));
    ASSERT_EQ(first.names, Texts{"clip-[clip].mp4"});
    EXPECT_EQ(QFile(m_folder.filePath(QString::fromStdString(first.names[0]))).size(),
              QFile(testenv::MediaDir() + QStringLiteral("/clip.mp4")).size())
        << "the name is the file written into the current directory";
    ASSERT_FALSE(first.posted.empty()) << "no progress line shown";
    for (const std::string& text : first.posted) {
        EXPECT_NE(text.find("ETA"), std::string::npos) << text;
        EXPECT_NE(text.find("% of"), std::string::npos) << text;
    }

    // The second time the tool finds the file in place.
    const Result again = Download(testenv::HttpBase() + QStringLiteral("/clip.mp4"));
    EXPECT_EQ(again.names, Texts{"clip-[clip].mp4"});
    EXPECT_EQ(again.posted, Texts{"clip-[clip].mp4 has already been downloaded"});
}

TEST_F(Downloader, FindsTheVideoOfAPage)
{
    const Result r = Download(testenv::HttpBase() + QStringLiteral("/page.html"));
    ASSERT_EQ(r.names.size(), 1u);
    EXPECT_TRUE(QFile::exists(m_folder.filePath(QString::fromStdString(r.names[0]))));
    EXPECT_EQ(r.names[0].find(' '), std::string::npos) << "restricted file names have no blanks";
}

TEST_F(Downloader, AMissingPageShowsTheErrorUpToItsSecondColon)
{
    const Result r = Download(testenv::HttpBase() + QStringLiteral("/no-such-video.mp4"));
    EXPECT_TRUE(r.names.empty());
    ASSERT_EQ(r.posted.size(), 1u);
    // yt-dlp's words for it changed between Debian's release (2023.03.04) and backports
    // (2025.04.30) versions; either is cut at its second colon.
    EXPECT_TRUE(r.posted[0] == "[generic] None: Unable to download webpage" ||
                r.posted[0] == "[generic] Unable to download webpage: HTTP Error 404")
        << r.posted[0];
    EXPECT_TRUE(QDir(m_folder.path()).isEmpty());
}

} // namespace
