// The real downloader (yt-dlp) run through CFileRedirector against the loopback server: the
// names it reports and the lines it shows are what a job gets.
#include "download/file_redirector.h"

#include "job_text_sink.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

struct Result {
    Texts names;
    Texts posted;
};

// The job's downloader options, with more that keep the tool on the loopback server and away
// from the user's configuration and cache, run in folder as a job runs it.
Result RunDownloader(const QString& url, const QString& folder)
{
    JobTextSink sink;
    CFileRedirector r(true, &sink);
    EXPECT_TRUE(r.Run({QStringLiteral("yt-dlp"), QStringLiteral("--ignore-config"),
                       QStringLiteral("--proxy"), QString(), QStringLiteral("--no-cache-dir"),
                       QStringLiteral("-ic"), QStringLiteral("--restrict-filenames"), url},
                      folder));
    EXPECT_TRUE(r.FinishedEvent().Wait(120000ms)) << "the downloader did not end";
    Result result{{}, sink.Take()};
    for (const QByteArray& n : r.Names())
        result.names.push_back(n.toStdString());
    return result;
}

class Downloader : public ::testing::Test {
protected:
    Result Download(const QString& path)
    {
        return RunDownloader(testenv::HttpBase() + u'/' + path, m_folder.path());
    }
    QTemporaryDir m_folder;
};

TEST_F(Downloader, ReportsTheDownloadedFileAndItsProgress)
{
    const Result first = Download(QStringLiteral("clip.mp4"));
    ASSERT_EQ(first.names, Texts{"clip-[clip].mp4"});
    EXPECT_EQ(QFile(m_folder.filePath(QString::fromStdString(first.names[0]))).size(),
              QFile(testenv::MediaDir() + QStringLiteral("/clip.mp4")).size())
        << "the name is the file written into the working directory";
    ASSERT_FALSE(first.posted.empty()) << "no progress line shown";
    for (const std::string& text : first.posted) {
        EXPECT_NE(text.find("ETA"), std::string::npos) << text;
        EXPECT_NE(text.find("% of"), std::string::npos) << text;
    }

    // The second time the tool finds the file in place.
    const Result again = Download(QStringLiteral("clip.mp4"));
    EXPECT_EQ(again.names, Texts{"clip-[clip].mp4"});
    EXPECT_EQ(again.posted, Texts{"clip-[clip].mp4 has already been downloaded"});
}

TEST_F(Downloader, FindsTheVideoOfAPage)
{
    const Result r = Download(QStringLiteral("page.html"));
    ASSERT_EQ(r.names.size(), 1u);
    EXPECT_TRUE(QFile::exists(m_folder.filePath(QString::fromStdString(r.names[0]))));
    EXPECT_EQ(r.names[0].find(' '), std::string::npos) << "restricted file names have no blanks";
}

TEST_F(Downloader, AMissingPageShowsTheErrorUpToItsSecondColon)
{
    const Result r = Download(QStringLiteral("no-such-video.mp4"));
    EXPECT_TRUE(r.names.empty());
    ASSERT_EQ(r.posted.size(), 1u);
    // yt-dlp's wording changes between versions ("[generic] None: Unable to download webpage"
    // in 2023, "[generic] Unable to download webpage: HTTP Error 404" since); what holds is
    // the line cut before its second colon.
    const std::string& shown = r.posted[0];
    EXPECT_TRUE(shown.starts_with("[generic] ")) << shown;
    EXPECT_NE(shown.find("Unable to download webpage"), std::string::npos) << shown;
    EXPECT_LE(std::count(shown.begin(), shown.end(), ':'), 1) << shown;
    EXPECT_TRUE(QDir(m_folder.path()).isEmpty());
}

} // namespace
