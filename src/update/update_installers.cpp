// The record of started installers: a small locked file of percent-encoded paths, and the
// removal that trusts a path only when what is there is still an installer the program made.
#include "update/update_installers.h"

#include "platform/file_name.h"
#include "platform/own_file.h"
#include "platform/temp_file_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>

namespace update {

namespace {

// The record never grows past this many lines (the oldest go), nor is more of it read.
constexpr qsizetype kMaxRecords = 32;
constexpr qint64 kMaxRecordBytes = 64 * 1024;
constexpr int kLockWaitMs = 5000;

QList<QByteArray> ReadRecords(const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> records;
    for (const QByteArray& line : in.read(kMaxRecordBytes).split('\n')) {
        const QByteArray path = QByteArray::fromPercentEncoding(line.trimmed());
        if (!path.isEmpty())
            records.append(path);
    }
    return records;
}

bool WriteRecords(const QString& file, QList<QByteArray> records)
{
    if (records.size() > kMaxRecords)
        records = records.mid(records.size() - kMaxRecords);
    if (records.isEmpty())
        return !QFileInfo::exists(file) || QFile::remove(file);
    QByteArray text;
    for (const QByteArray& path : records)
        text += path.toPercentEncoding("/") + '\n';
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size() && out.commit();
}

bool IsInstallerName(const QByteArray& name)
{
    static const QRegularExpression kPattern(
        QStringLiteral("^vnd[0-9a-f]{8}-[0-9a-f]{8}\\.(deb|exe)$"));
    return kPattern.match(QString::fromLatin1(name)).hasMatch();
}

} // namespace

QString LaunchedInstallersFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Vandrel/launched-installers");
}

bool RecordLaunchedInstaller(const QString& path)
{
    const QString file = LaunchedInstallersFile();
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    QList<QByteArray> records = ReadRecords(file);
    records.append(platform::EncodeFileName(QFileInfo(path).absoluteFilePath()));
    return WriteRecords(file, std::move(records));
}

void RemoveLaunchedInstallers()
{
    const QString file = LaunchedInstallersFile();
    if (!QFileInfo::exists(file))
        return;
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return;
    const QByteArray tempFolder = platform::EncodeFileName(platform::TemporaryDirectory());
    QList<QByteArray> kept;
    for (const QByteArray& path : ReadRecords(file)) {
        const qsizetype slash = path.lastIndexOf('/');
        if (slash < 0)
            continue;
        if ((slash == 0 ? QByteArray("/") : path.first(slash)) != tempFolder) {
            kept.append(path);
            continue;
        }
        if (IsInstallerName(path.sliced(slash + 1)) &&
            platform::RemoveOwnRegularFile(path.constData()) == platform::RemoveOwnResult::Failed)
            kept.append(path); // tried again next time
    }
    WriteRecords(file, std::move(kept));
}

} // namespace update
