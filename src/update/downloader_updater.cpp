// The daily check's thread and its record of the last day a verdict was reached.
#include "update/downloader_updater.h"

#include "update/update_check.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>

namespace update {

namespace {

bool ReachedVerdict(DownloaderUpdateResult result)
{
    return result == DownloaderUpdateResult::Kept || result == DownloaderUpdateResult::UpToDate ||
           result == DownloaderUpdateResult::Refused;
}

QByteArray ReadRecord(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    return in.read(64).trimmed();
}

void WriteRecord(const QString& file, const QByteArray& day)
{
    QSaveFile out(file);
    if (out.open(QIODevice::WriteOnly) && out.write(day + '\n') == day.size() + 1)
        out.commit();
}

} // namespace

DownloaderUpdater::DownloaderUpdater(DownloaderUpdateOptions options)
    : m_options(std::move(options))
{
    m_options.cancel = &m_cancel;
    if (m_options.keepFolder.isEmpty())
        m_options.keepFolder = KeptDownloaderFolder();
}

DownloaderUpdater::~DownloaderUpdater()
{
    m_cancel = true;
    Wait();
}

QString DownloaderUpdater::RecordFile(const QString& keepFolder)
{
    return keepFolder + QStringLiteral("/last-check");
}

bool DownloaderUpdater::StartIfDue(const QDate& today)
{
    if (m_thread)
        return false;
    const QByteArray day = FormatUpdateDate(today).toLatin1();
    const QString record = RecordFile(m_options.keepFolder);
    if (ReadRecord(record) == day)
        return false;
    // The thread reads only m_options (never changed while it runs) and writes m_result.
    m_thread.reset(QThread::create([this, day, record] {
        const DownloaderUpdateResult result = UpdateDownloader(m_options);
        if (ReachedVerdict(result))
            WriteRecord(record, day);
        m_result = result;
    }));
    m_thread->start(QThread::LowPriority);
    return true;
}

std::optional<DownloaderUpdateResult> DownloaderUpdater::Wait()
{
    if (m_thread)
        m_thread->wait();
    return m_result;
}

} // namespace update
