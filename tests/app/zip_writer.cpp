#include "zip_writer.h"
#include "test_env.h"

#include <QFile>
#include <QTemporaryDir>

#include <minizip/zip.h>
#include <zlib.h>

namespace ziptest {

namespace {

unsigned Get16(const QByteArray& b, qsizetype at)
{
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

// Sets the method of the member name in its central directory entry and its local header.
bool SetMethod(const QString& path, const QByteArray& name, int method)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite))
        return false;
    QByteArray zip = f.readAll();
    bool found = false;
    for (qsizetype at = zip.indexOf("PK\x01\x02"); at >= 0 && at + 46 <= zip.size();
         at = zip.indexOf("PK\x01\x02", at + 4)) {
        if (zip.mid(at + 46, Get16(zip, at + 28)) != name)
            continue;
        const qsizetype local = Get16(zip, at + 42) | qsizetype(Get16(zip, at + 44)) << 16;
        if (local + 30 > zip.size())
            return false;
        for (qsizetype field : {at + 10, local + 8}) {
            zip[field] = static_cast<char>(method & 0xFF);
            zip[field + 1] = static_cast<char>(method >> 8);
        }
        found = true;
    }
    return found && f.seek(0) && f.write(zip) == zip.size();
}

} // namespace

bool WriteZip(const QString& path, const std::vector<Member>& members)
{
    zipFile zip = zipOpen64(QFile::encodeName(path).constData(), APPEND_STATUS_CREATE);
    if (!zip)
        return false;
    bool ok = true;
    for (const Member& m : members) {
        zip_fileinfo info{};
        info.tmz_date = {0, 30, 10, 4, 2, 2021};
        const uLong versionMadeBy = m.unixMode ? (3u << 8) | 20u : 20u;
        info.external_fa = static_cast<uLong>(m.unixMode) << 16;
        // minizip writes only the methods it knows: others are set in the headers afterwards.
        const bool known = !m.raw || m.raw->method == 0 || m.raw->method == Z_DEFLATED;
        const int method = !m.raw ? Z_DEFLATED : known ? m.raw->method : 0;
        ok = ok && zipOpenNewFileInZip4_64(zip, m.name.constData(), &info, nullptr, 0, nullptr, 0,
                                           nullptr, method, Z_DEFAULT_COMPRESSION, m.raw ? 1 : 0,
                                           -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr,
                                           0, versionMadeBy, 0, 0) == ZIP_OK;
        ok = ok && zipWriteInFileInZip(zip, m.data.constData(),
                                       static_cast<unsigned>(m.data.size())) == ZIP_OK;
        ok = ok && (m.raw ? zipCloseFileInZipRaw64(zip, m.raw->size, m.raw->crc)
                          : zipCloseFileInZip(zip)) == ZIP_OK;
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    for (const Member& m : members) {
        if (ok && m.raw && m.raw->method != 0 && m.raw->method != Z_DEFLATED)
            ok = SetMethod(path, m.name, m.raw->method);
    }
    return ok;
}

QByteArray MakeZip(const std::vector<Member>& members)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.zip"));
    return WriteZip(path, members) ? testenv::ReadFile(path) : QByteArray();
}

} // namespace ziptest
