// The job folder: made when missing, its files recorded before the tools run, reported names
// checked against it, and new output names claimed in it.
#include "download/job_folder.h"

#include "platform/file_name.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <tuple>

namespace {

constexpr int kMaxOutputNames = 10000;

bool Before(const platform::FileIdentity& a, const platform::FileIdentity& b)
{
    return std::tie(a.device, a.inode) < std::tie(b.device, b.inode);
}

QString ErrorText(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

} // namespace

std::optional<QString> JobFolder::Prepare() const
{
    if (m_path.isEmpty())
        return QStringLiteral("no folder given");
    if (const int error = platform::MakeWritableDirectory(m_path))
        return ErrorText(-error);
    return std::nullopt;
}

void JobFolder::Record()
{
    m_before = platform::RegularFilesIn(m_path);
    std::sort(m_before.begin(), m_before.end(), Before);
    m_recorded = true;
}

bool JobFolder::MadeSinceRecord(const File& file) const
{
    return file.direct &&
           !std::binary_search(m_before.begin(), m_before.end(), file.identity, Before) &&
           platform::RegularFileIdentity(file.path) == file.identity;
}

QStringList JobFolder::RemovePartialFiles() const
{
    // What the downloader leaves of a transfer it did not finish: "x.mp4.part", "x.mp4.ytdl",
    // "x.mp4.part-Frag7" (and its own ".part"), and "x.temp.mp4" of a merge in progress.
    static const QRegularExpression partial(
        QStringLiteral("(\\.part|\\.ytdl|\\.part-Frag\\d+(\\.part)?|\\.temp\\.[A-Za-z0-9]+)$"));
    QStringList removed;
    if (!m_recorded)
        return removed;
    const QStringList names =
        QDir(m_path).entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks | QDir::System);
    for (const QString& name : names) {
        if (!partial.match(name).hasMatch())
            continue;
        const QString path = m_path + u'/' + name;
        const auto identity = platform::RegularFileIdentity(path);
        if (!identity || std::binary_search(m_before.begin(), m_before.end(), *identity, Before))
            continue;
        if (QFile::remove(path))
            removed << name;
    }
    return removed;
}

std::optional<JobFolder::File> JobFolder::Find(const QByteArray& name, QString& reason) const
{
    const QList<QByteArray> parts = name.split('/');
    for (const QByteArray& part : parts) {
        if (part.isEmpty() || part == "." || part == ".." || part.contains('\0')) {
            reason = QStringLiteral("not a file inside the folder");
            return std::nullopt;
        }
    }
    QString path = m_path;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        path += u'/' + platform::DecodeFileName(parts[i]);
        if (i + 1 < parts.size() && !platform::IsDirectoryNotLink(path)) {
            reason = QStringLiteral("not a file inside the folder");
            return std::nullopt;
        }
    }
    const auto identity = platform::RegularFileIdentity(path);
    if (!identity) {
        reason = QStringLiteral("no such regular file");
        return std::nullopt;
    }
    return File{path, *identity, parts.size() == 1};
}

std::optional<JobFolder::File> JobFolder::NewOutputFile(const QString& input,
                                                        const QString& ext) const
{
    QString base = QFileInfo(input).fileName();
    const qsizetype dot = base.lastIndexOf(u'.');
    if (dot > 0)
        base.truncate(dot);
    for (int n = 1; n <= kMaxOutputNames; ++n) {
        const QString path =
            m_path + u'/' + base + (n == 1 ? QString() : QStringLiteral(" (%1)").arg(n)) + ext;
        File file{path, {}, true};
        const int error = platform::CreateNewFile(path, file.identity);
        if (!error)
            return file;
        if (error != -EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}
