#include "zip_writer.h"

#include <QFile>
#include <QTemporaryDir>

#include <minizip/zip.h>
#include <zlib.h>

namespace ziptest {

bool WriteZip(const QString& path, const std::vector<Member>& members)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const Member& m : members) {
        zip_fileinfo info{};
        info.tmz_date.tm_year = static_cast<uInt>(m.year);
        info.tmz_date.tm_mon = static_cast<uInt>(m.month - 1);
        info.tmz_date.tm_mday = static_cast<uInt>(m.day);
        info.tmz_date.tm_hour = static_cast<uInt>(m.hour);
        info.tmz_date.tm_min = static_cast<uInt>(m.minute);
        info.tmz_date.tm_sec = static_cast<uInt>(m.second);
        const uLong versionMadeBy = m.unixMode ? (3u << 8) | 20u : 20u;
        info.external_fa = static_cast<uLong>(m.unixMode) << 16;
        ok = ok && zipOpenNewFileInZip4_64(zip, m.name.constData(), &info, nullptr, 0, nullptr, 0,
                                           nullptr, Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0,
                                           -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                           0, versionMadeBy, 0, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, m.data.constData(),
                                       static_cast<unsigned>(m.data.size())) == ZIP_OK;
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

QByteArray MakeZip(const std::vector<Member>& members)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    if (!WriteZip(path, members))
        return {};
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace ziptest
