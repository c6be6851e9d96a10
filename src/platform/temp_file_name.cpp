// Temporary names: the clock and the tick make them, an atomic counter keeps them unique within
// the process.
#include "platform/temp_file_name.h"

#include "platform/tick.h"

#include <QDir>

#include <atomic>
#include <cstdint>

namespace platform {

QString TemporaryDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    return QDir::cleanPath(fromEnvironment.isEmpty() ? QStringLiteral("/tmp") : fromEnvironment);
}

QString NewTempName()
{
    static std::atomic<std::uint64_t> s_last{0};
    std::uint64_t candidate = (static_cast<std::uint64_t>(UnixSeconds32()) << 32) | TickCount();
    std::uint64_t last = s_last.load();
    for (;;) {
        if (candidate <= last)
            candidate = last + 1;
        if (s_last.compare_exchange_weak(last, candidate))
            break;
    }
    return QString::asprintf("vnd%08x-%08x", static_cast<unsigned>(candidate >> 32),
                             static_cast<unsigned>(candidate & 0xFFFFFFFFu));
}

bool IsTempName(const QString& name)
{
    // "vnd", eight lower-case hexadecimal digits, "-", eight more.
    if (name.size() != 20 || !name.startsWith(QLatin1String("vnd")) || name[11] != u'-')
        return false;
    for (qsizetype i = 3; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (i != 11 && !((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f')))
            return false;
    }
    return true;
}

QString MakeTempFileName(const QString& extension, const QString& directory)
{
    const QString dir = directory.isEmpty() ? TemporaryDirectory() : directory;
    return dir + u'/' + NewTempName() + (extension.isEmpty() ? QStringLiteral(".tmp") : extension);
}

} // namespace platform
