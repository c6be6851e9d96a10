// What the job runner costs on top of its tools: an MP3 job of a ~200 MB clip and of a 1-second
// clip from the loopback server, against the same downloader and converter commands run by hand
// one after the other in the same run. And what an MP3 job fetches: the bytes the server sent
// for it against those of a download-only job of the same DASH stream (720p video and its sound
// apart). The clips are made once with ffmpeg and kept.
#include "app/workspace.h"
#include "download/download_job.h"
#include "download/job_control.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool Ffmpeg(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("ffmpeg"),
            QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                        QStringLiteral("error"), QStringLiteral("-y")} +
                args);
    return p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// big.mp4: 80 s of noisy 640x360 video at 20 Mbit/s (about 200 MB); short.mp4: 1 second;
// dash720/stream.mpd: 10 s of 1280x720 video at 3 Mbit/s (about 4 MB) and 128 kbit/s sound.
bool MakeClips(const QString& media)
{
    QDir().mkpath(media);
    const QString big = media + QStringLiteral("/big.mp4");
    const QString small = media + QStringLiteral("/short.mp4");
    const QString dash = media + QStringLiteral("/dash720/stream.mpd");
    if (QFileInfo(big).size() > 150 * 1000 * 1000 && QFileInfo::exists(small) &&
        QFileInfo::exists(dash))
        return true;
    std::fprintf(stderr, "bench_job: making the clips once in %s\n", qPrintable(media));
    const QStringList source = {
        QStringLiteral("-f"),        QStringLiteral("lavfi"),
        QStringLiteral("-i"),        QStringLiteral("testsrc=size=640x360:rate=25"),
        QStringLiteral("-f"),        QStringLiteral("lavfi"),
        QStringLiteral("-i"),        QStringLiteral("sine=frequency=440:sample_rate=44100"),
        QStringLiteral("-vf"),       QStringLiteral("noise=alls=60:allf=t"),
        QStringLiteral("-c:v"),      QStringLiteral("libx264"),
        QStringLiteral("-preset"),   QStringLiteral("ultrafast"),
        QStringLiteral("-pix_fmt"),  QStringLiteral("yuv420p"),
        QStringLiteral("-c:a"),      QStringLiteral("aac"),
        QStringLiteral("-movflags"), QStringLiteral("+faststart")};
    QDir().mkpath(QFileInfo(dash).path());
    return Ffmpeg(source + QStringList{QStringLiteral("-t"), QStringLiteral("80"),
                                       QStringLiteral("-b:v"), QStringLiteral("20M"),
                                       QStringLiteral("-maxrate"), QStringLiteral("20M"),
                                       QStringLiteral("-bufsize"), QStringLiteral("40M"), big}) &&
           Ffmpeg(source + QStringList{QStringLiteral("-t"), QStringLiteral("1"), small}) &&
           Ffmpeg(QStringLiteral("-f lavfi -i testsrc=size=1280x720:rate=25 -f lavfi "
                                 "-i sine=frequency=440:sample_rate=44100 -t 10 "
                                 "-vf noise=alls=20:allf=t -c:v libx264 -preset ultrafast -b:v 3M "
                                 "-pix_fmt yuv420p -c:a aac -b:a 128k -map 0:v -map 1:a -f dash")
                      .split(u' ')
                  << dash);
}

// The tests' loopback server on the clips' folder, for the bench's lifetime.
class Server {
public:
    explicit Server(const QString& media) : m_media(media)
    {
        const QString portFile = m_dir.filePath(QStringLiteral("port"));
        m_process.start(QStringLiteral("python3"),
                        {QStringLiteral(VANDREL_SOURCE_DIR "/scripts/test_http_server.py"),
                         QStringLiteral("--root"), media, QStringLiteral("--port-file"), portFile,
                         QStringLiteral("--log"), m_dir.filePath(QStringLiteral("log"))});
        for (int i = 0; i < 200 && !QFileInfo::exists(portFile); ++i)
            QThread::msleep(25);
        QFile f(portFile);
        if (f.open(QIODevice::ReadOnly))
            m_base = QStringLiteral("http://127.0.0.1:") + QString::fromUtf8(f.readAll()).trimmed();
    }
    ~Server()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    const QString& Base() const { return m_base; }
    // The bytes of the files the server was asked for since the last call (each request is
    // logged as "GET /path" once it is answered).
    qint64 BytesSent()
    {
        QFile log(m_dir.filePath(QStringLiteral("log")));
        if (!log.open(QIODevice::ReadOnly) || !log.seek(m_logRead))
            return -1;
        const QByteArray lines = log.readAll();
        m_logRead += lines.size();
        qint64 bytes = 0;
        for (const QByteArray& line : lines.split('\n')) {
            if (line.startsWith("GET /"))
                bytes += QFileInfo(m_media + QString::fromUtf8(line.mid(4))).size();
        }
        return bytes;
    }

private:
    QString m_media;
    qint64 m_logRead = 0;
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_base;
};

// The job's own commands, one after the other: the downloader in the folder, then the
// converter on the file it named, then the download removed.
double ByHand(const QString& workspace, const QString& url)
{
    QTemporaryDir folder;
    QElapsedTimer timer;
    timer.start();
    QProcess dl;
    dl.setWorkingDirectory(folder.path());
    dl.setProcessChannelMode(QProcess::MergedChannels);
    dl.start(workspace + QStringLiteral("/downloader"),
             {QStringLiteral("-ic"), QStringLiteral("-o"),
              QStringLiteral("%(title).150B [%(id).30B].%(ext)s"), QStringLiteral("-f"),
              QStringLiteral("ba/b"), QStringLiteral("--"), url});
    dl.waitForFinished(-1);
    const QByteArray out = dl.readAll();
    const QByteArray prefix = "[download] Destination: ";
    const qsizetype at = out.lastIndexOf(prefix);
    if (at < 0)
        return -1;
    const QString name =
        QString::fromUtf8(out.mid(at + prefix.size(), out.indexOf('\r', at) - at - prefix.size()));
    const QString input = folder.filePath(name);
    QProcess conv;
    conv.setWorkingDirectory(folder.path());
    conv.setProcessChannelMode(QProcess::MergedChannels);
    conv.start(workspace + QStringLiteral("/convert"),
               {QStringLiteral("-y"), QStringLiteral("-i"), input,
                folder.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".mp3"))});
    conv.waitForFinished(-1);
    conv.readAll();
    QFile::remove(input);
    return timer.elapsed() / 1000.0;
}

double ThroughTheJob(const QString& workspace, const QString& url,
                     download::JobKind kind = download::JobKind::Mp3)
{
    QTemporaryDir folder;
    // Receives what a job posts, as the main window does.
    QObject sink;
    QString path;
    download::JobEvents events;
    events.onText = [](const QByteArray&) {};
    events.onFinished = [&path](const QString& played, const QStringList&) { path = played; };
    download::DownloadJob job;
    job.workspace = workspace;
    job.url = url;
    job.kind = kind;
    job.play = true;
    job.folder = folder.path();
    download::JobControl control;
    QElapsedTimer timer;
    timer.start();
    download::RunJob(job, &sink, events, control);
    QCoreApplication::sendPostedEvents(&sink);
    const double seconds = timer.elapsed() / 1000.0;
    const std::string_view extension = download::FindJobKind(kind)->extension;
    return path.endsWith(extension.empty()
                             ? QStringLiteral(".mp4")
                             : QString::fromLatin1(extension.data(), qsizetype(extension.size())))
               ? seconds
               : -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString media = QStringLiteral(VANDREL_BENCH_MEDIA);
    if (!MakeClips(media)) {
        std::fprintf(stderr, "bench_job: ffmpeg could not make the clips\n");
        return 1;
    }
    Server server(media);
    if (server.Base().isEmpty()) {
        std::fprintf(stderr, "bench_job: the loopback server did not start\n");
        return 1;
    }
    const platform::Expected<app::Workspace> made = app::CreateWorkspace();
    const QString workspace = made ? made->path : QString();
    if (!made || !app::ExtractToolPayload(workspace, QStringLiteral(VANDREL_EXE))) {
        std::fprintf(stderr, "bench_job: no payload in %s\n", VANDREL_EXE);
        return 1;
    }

    const QString big = server.Base() + QStringLiteral("/big.mp4");
    const QString small = server.Base() + QStringLiteral("/short.mp4");
    ByHand(workspace, big); // the clip is in the page cache from here on
    std::vector<double> bigHand, bigJob, smallHand, smallJob;
    for (int i = 0; i < 3; ++i) {
        bigHand.push_back(ByHand(workspace, big));
        bigJob.push_back(ThroughTheJob(workspace, big));
    }
    for (int i = 0; i < 7; ++i) {
        smallHand.push_back(ByHand(workspace, small));
        smallJob.push_back(ThroughTheJob(workspace, small));
    }
    const QString dash = server.Base() + QStringLiteral("/dash720/stream.mpd");
    server.BytesSent();
    const bool mp3Made = ThroughTheJob(workspace, dash) >= 0;
    const qint64 mp3Bytes = server.BytesSent();
    const bool videoMade = ThroughTheJob(workspace, dash, download::JobKind::Download) >= 0;
    const qint64 videoBytes = server.BytesSent();
    app::RemoveDirectoryTree(workspace);
    if (!mp3Made || !videoMade || mp3Bytes <= 0 || videoBytes <= 0) {
        std::fprintf(stderr, "bench_job: the DASH stream's jobs did not make their files\n");
        return 1;
    }
    for (const auto* runs : {&bigHand, &bigJob, &smallHand, &smallJob}) {
        if (std::any_of(runs->begin(), runs->end(), [](double s) { return s < 0; })) {
            std::fprintf(stderr, "bench_job: a run did not make its MP3\n");
            return 1;
        }
    }
    std::printf("job.tools_s: %.3f\n", Median(bigHand));
    std::printf("job.job_s: %.3f\n", Median(bigJob));
    std::printf("job.ratio_to_tools: %.3f\n", Median(bigJob) / Median(bigHand));
    std::printf("job.overhead_ms: %.1f\n", (Median(smallJob) - Median(smallHand)) * 1000.0);
    std::printf("job.mp3_bytes_ratio_to_video: %.3f\n",
                static_cast<double>(mp3Bytes) / static_cast<double>(videoBytes));
    return 0;
}
