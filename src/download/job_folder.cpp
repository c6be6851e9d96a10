#include "download/job_folder.h"

#include <QFile>
#include <QFileInfo>

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

QString JobFolder::Prepare() const
{
    if (m_path.isEmpty())
        return QStringLiteral("no folder given");
    const int error = platform::MakeWritableDirectory(m_path);
    return error ? ErrorText(error) : QString();
}

void JobFolder::Record()
{
    m_before = platform::RegularFilesIn(m_path);
    std::sort(m_before.begin(), m_before.end(), Before);
}

bool JobFolder::WasThere(const platform::FileIdentity& file) const
{
    return std::binary_search(m_before.begin(), m_before.end(), file, Before);
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
        path += u'/' + QFile::decodeName(parts[i]);
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
    return File{path, *identity};
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
        File file{path, {}};
        const int error = platform::CreateNewFile(path, file.identity);
        if (!error)
            return file;
        if (error != EEXIST)
            return std::nullopt;
    }
    return std::nullopt;
}
