#include "app/workspace.h"

#include "platform/file_name.h"

#include "app/run_unzip.h"
#include "platform/file_system.h"
#include "platform/tick.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace {

constexpr std::uint8_t kScrambleKey = 0xA7;
constexpr int kScanWords = 1024;
constexpr int kCopyBufferSize = 1024;
constexpr int kMaxWorkspaceAttempts = 1000;

// "vnd%08x-%08x": seconds since 1970, then the millisecond tick. Within one process a name is
// never handed out twice: when the clock has not moved on, the tick field counts on.
QString TempName()
{
    static std::atomic<std::uint64_t> s_last{0};
    std::uint64_t candidate =
        (static_cast<std::uint64_t>(platform::UnixSeconds32()) << 32) | platform::TickCount();
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

// The scan never holds the marker as one constant: its halves are compared separately, and
// they come from volatile stores so that the compiler cannot fold them into one 32-bit value
// that would then sit in this program's own code.
bool FindMarker(QFile& file)
{
    volatile std::uint16_t markerHigh = 0xDEAD;
    volatile std::uint16_t markerLow = 0xF00D;
    const std::uint32_t high = markerHigh;
    const std::uint32_t low = markerLow;

    std::array<unsigned char, kScanWords * 4> block{};
    qint64 blockOffset = 0;
    for (;;) {
        const qint64 got = file.read(reinterpret_cast<char*>(block.data()), block.size());
        if (got <= 0)
            return false;
        const qint64 words = got / 4;
        for (qint64 i = 0; i < words; ++i) {
            const unsigned char* b = block.data() + i * 4;
            const std::uint32_t lower = b[0] | (static_cast<std::uint32_t>(b[1]) << 8);
            const std::uint32_t upper = b[2] | (static_cast<std::uint32_t>(b[3]) << 8);
            if (upper == high && lower == low)
                return file.seek(blockOffset + 4 * (i + 1));
        }
        if (got < static_cast<qint64>(block.size()))
            return false;
        blockOffset += got;
    }
}

std::uint32_t ReadLength(QFile& file)
{
    std::array<unsigned char, 4> b{};
    if (file.read(reinterpret_cast<char*>(b.data()), 4) != 4)
        return 0;
    return b[0] | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// Copies and unscrambles length bytes; false when the program file ends early or the copy
// cannot be written.
bool CopyPayload(QFile& from, QFile& to, std::uint32_t length)
{
    std::array<char, kCopyBufferSize> buffer{};
    std::uint32_t remaining = length;
    while (remaining > 0) {
        const qint64 want = std::min<qint64>(remaining, buffer.size());
        const qint64 got = from.read(buffer.data(), want);
        if (got <= 0)
            break;
        for (qint64 i = 0; i < got; ++i)
            buffer[static_cast<std::size_t>(i)] = static_cast<char>(
                static_cast<std::uint8_t>(buffer[static_cast<std::size_t>(i)]) ^ kScrambleKey);
        if (to.write(buffer.data(), got) != got)
            break;
        remaining -= static_cast<std::uint32_t>(got);
    }
    return to.flush() && remaining == 0;
}

// Removes the temporary archive on every way out of ExtractToolPayload.
class TemporaryFileGuard {
public:
    explicit TemporaryFileGuard(QString path) : m_path(std::move(path)) {}
    ~TemporaryFileGuard() { QFile::remove(m_path); }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

private:
    QString m_path;
};

} // namespace

QString TemporaryDirectory()
{
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    return QDir::cleanPath(fromEnvironment.isEmpty() ? QStringLiteral("/tmp") : fromEnvironment);
}

QString CreateWorkspace(const QString& directory, const std::function<QString()>& nextName,
                        int* error)
{
    if (error)
        *error = 0;
    for (int attempt = 0; attempt < kMaxWorkspaceAttempts; ++attempt) {
        const QString name = nextName();
        if (name.isEmpty())
            return {};
        const QString path = directory + u'/' + name;
        const int made = platform::MakePrivateDirectory(path);
        if (made == 0)
            return path;
        if (made == -EEXIST)
            continue;
        if (error)
            *error = -made;
        return {};
    }
    return {};
}

QString CreateWorkspace()
{
    const QString directory = TemporaryDirectory();
    int error = 0;
    const QString workspace = CreateWorkspace(directory, TempName, &error);
    if (workspace.isEmpty()) {
        const QByteArray shown = platform::EncodeFileName(directory);
        const QByteArray reason =
            error ? qt_error_string(error).toLocal8Bit() : QByteArray("no free name for it");
        std::fprintf(stderr,
                     "vandrel: cannot make the workspace in the temporary folder \"%s\"%s: %s\n",
                     shown.constData(), qEnvironmentVariableIsEmpty("TMPDIR") ? "" : " (TMPDIR)",
                     reason.constData());
    }
    return workspace;
}

QString MakeTempFileName(const QString& extension, const QString& directory)
{
    const QString dir = directory.isEmpty() ? TemporaryDirectory() : directory;
    return dir + u'/' + TempName() + (extension.isEmpty() ? QStringLiteral(".tmp") : extension);
}

bool ExtractToolPayload(const QString& workspace)
{
    return ExtractToolPayload(workspace, QStringLiteral("/proc/self/exe"));
}

bool ExtractToolPayload(const QString& workspace, const QString& programFile)
{
    QFile program(programFile);
    if (!program.open(QIODevice::ReadOnly))
        return false;
    if (!FindMarker(program))
        return false;
    const std::uint32_t length = ReadLength(program);

    const QString archivePath = MakeTempFileName({}, workspace);
    QFile archive(archivePath);
    // Created exclusively: a file of that name that is not ours is neither used nor removed.
    if (!archive.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    TemporaryFileGuard guard(archivePath);
    const bool copied = CopyPayload(program, archive, length);
    archive.close();
    if (!copied)
        return false;

    const QByteArray archiveName = platform::EncodeFileName(archivePath);
    const QByteArray destination = platform::EncodeFileName(workspace);
    const char* const argv[] = {
        "unzip.exe", "-x", "-o", archiveName.constData(), "-d", destination.constData()};
    // The driver works from inside the destination; the process goes back to where it was, so
    // nothing relies on, or writes into, a workspace that is removed at exit.
    const platform::CurrentDirectoryKeeper keeper;
    // Nobody reads the driver's messages here: a program started from a terminal stays quiet.
    // A member that failed (its checksum, say) is a damaged payload: no tools to start.
    bool complete = false;
    return RunUnzip(6, argv, nullptr, &complete) == 0 && complete;
}

void RemoveDirectoryTree(const QString& directory)
{
    platform::RemoveTree(directory);
}
