#include "test_env.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdlib>
#include <memory>

namespace testenv {
namespace {

std::unique_ptr<QTemporaryDir> g_home;

QString ReadTrimmed(const QString& path)
{
    return QString::fromUtf8(ReadFile(path)).trimmed();
}

ProcessResult RunProcess(QProcess& process, const QString& program, const QStringList& args,
                         int timeoutMs, const QStringList& extraEnv)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : extraEnv) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq > 0)
            env.insert(entry.left(eq), entry.mid(eq + 1));
        else
            env.remove(entry);
    }
    process.setProcessEnvironment(env);
    process.start(program, args);
    ProcessResult result;
    if (!process.waitForStarted(10000))
        return result;
    process.closeWriteChannel();
    if (process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    else
        process.kill(), process.waitForFinished(2000);
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

} // namespace

bool WaitUntil(const std::function<bool()>& condition, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return condition();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

QString HttpBase()
{
    const QString port = ReadTrimmed(Dir() + QStringLiteral("/http_port"));
    EXPECT_FALSE(port.isEmpty())
        << "the loopback HTTP server of the test environment is not running";
    return QStringLiteral("http://127.0.0.1:") + port;
}

QString Display()
{
    return ReadTrimmed(Dir() + QStringLiteral("/display"));
}

void IsolateHome()
{
    g_home = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/vandrel-test-XXXXXX");
    const QByteArray home = g_home->path().toUtf8();
    QDir().mkpath(g_home->filePath(".config"));
    QDir().mkpath(g_home->filePath("xdg-system"));
    setenv("HOME", home.constData(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/.config").constData(), 1);
    setenv("XDG_CONFIG_DIRS", (home + "/xdg-system").constData(), 1);
    setenv("XDG_DATA_HOME", (home + "/.local/share").constData(), 1);
    setenv("XDG_CACHE_HOME", (home + "/.cache").constData(), 1);
    // A program started by a test looks for a newer downloader under a name that never
    // resolves, so no test sends anything beyond loopback; the downloader tests name their own.
    setenv("VANDREL_DOWNLOADER_RELEASES", "https://downloader.invalid/", 1);
}

QString Home()
{
    return g_home ? g_home->path() : QString();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

ProcessResult Run(const QString& program, const QStringList& args, int timeoutMs,
                  const QStringList& extraEnv)
{
    QProcess process;
    return RunProcess(process, program, args, timeoutMs, extraEnv);
}

ProcessResult RunTool(const QString& folder, const QString& program, const QStringList& args,
                      const QStringList& extraEnv, int timeoutMs)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    return RunProcess(process, program, args, timeoutMs, extraEnv);
}

QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

QStringList DestinationNames(const QByteArray& output)
{
    QStringList names;
    const QByteArray prefix = "[download] Destination: ";
    for (qsizetype at = output.indexOf(prefix); at >= 0; at = output.indexOf(prefix, at + 1)) {
        const qsizetype end = output.indexOf('\r', at);
        if (end < 0)
            break;
        names << QString::fromUtf8(output.mid(at + prefix.size(), end - at - prefix.size()));
    }
    return names;
}

bool ProcessEnds(const QByteArray& pid, int limitMs)
{
    return WaitUntil(
        [&] {
            const QByteArray stat = ReadFile(QString::fromLatin1("/proc/" + pid + "/stat"));
            return stat.isEmpty() || stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
        },
        limitMs);
}

QString StreamCodecs(const QString& file)
{
    const ProcessResult r = Run(
        "ffprobe", {"-v", "error", "-show_entries", "stream=codec_name", "-of", "csv=p=0", file});
    return QString::fromUtf8(r.out).simplified();
}

} // namespace testenv
