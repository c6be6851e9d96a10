// The workspace is made under a fresh name, the payload is found by its marker, unscrambled
// into a temporary archive in the workspace and extracted there.
#include "app/workspace.h"

#include "app/archive_extraction.h"
#include "platform/file_name.h"
#include "platform/file_system.h"
#include "platform/temp_file_name.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace app {

namespace {

constexpr std::uint8_t kScrambleKey = 0xA7;
// Large blocks: the payload sits behind the whole program (tens of megabytes), and the scan
// and the copy run before the window can show.
constexpr int kScanWords = 16384;
constexpr int kCopyBufferSize = 65536;
constexpr int kMaxWorkspaceAttempts = 1000;
// In the workspace, held locked by the run for its whole life.
constexpr char kLockFileName[] = ".lock";

// The marker is never one constant of the program: it is put together at run time from two
// halves read through volatile stores, so that the compiler cannot fold it into a 32-bit value
// that would then sit in this program's own code, ahead of the payload.
bool FindMarker(QFile& file)
{
    volatile std::uint16_t markerHigh = 0xDEAD;
    volatile std::uint16_t markerLow = 0xF00D;
    const std::uint32_t high = markerHigh;
    const std::uint32_t low = markerLow;

    // Words are read as the file stores them (little-endian): the marker's bytes 0D F0 AD DE.
    const std::uint32_t marker = (high << 16) | low;
    std::vector<unsigned char> block(kScanWords * 4);
    qint64 blockOffset = 0;
    for (;;) {
        const qint64 got = file.read(reinterpret_cast<char*>(block.data()), block.size());
        if (got <= 0)
            return false;
        const qint64 words = got / 4;
        for (qint64 i = 0; i < words; ++i) {
            const unsigned char* b = block.data() + i * 4;
            const std::uint32_t word = b[0] | (static_cast<std::uint32_t>(b[1]) << 8) |
                                       (static_cast<std::uint32_t>(b[2]) << 16) |
                                       (static_cast<std::uint32_t>(b[3]) << 24);
            if (word == marker)
                return file.seek(blockOffset + 4 * (i + 1));
        }
        if (got < static_cast<qint64>(block.size()))
            return false;
        blockOffset += got;
    }
}

std::optional<std::uint32_t> ReadLength(QFile& file)
{
    std::array<unsigned char, 4> b{};
    if (file.read(reinterpret_cast<char*>(b.data()), 4) != 4)
        return std::nullopt;
    return b[0] | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

// Copies and unscrambles length bytes; false when the program file ends early or the copy
// cannot be written.
bool CopyPayload(QFile& from, QFile& to, std::uint32_t length)
{
    std::vector<char> buffer(kCopyBufferSize);
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

platform::Unexpected<platform::Error> NoWorkspace(const QString& directory, const QString& reason,
                                                  int code = 0)
{
    return platform::Fail(
        QStringLiteral("cannot make the workspace in the temporary folder \"") + directory + u'"' +
            (qEnvironmentVariableIsEmpty("TMPDIR") ? QString() : QStringLiteral(" (TMPDIR)")) +
            QStringLiteral(": ") + reason,
        code);
}

} // namespace

platform::Expected<Workspace> CreateWorkspace(const QString& directory,
                                              const std::function<QString()>& nextName)
{
    for (int tries = 0; tries < kMaxWorkspaceAttempts; ++tries) {
        const QString name = nextName();
        if (name.isEmpty())
            break;
        const QString path = directory + u'/' + name;
        const int made = platform::MakePrivateDirectory(path);
        if (made == 0)
            return Workspace{path, platform::HoldNewLockFile(path, kLockFileName)};
        if (made != -EEXIST)
            return NoWorkspace(directory, qt_error_string(-made), -made);
    }
    return NoWorkspace(directory, QStringLiteral("no free name for it"));
}

platform::Expected<Workspace> CreateWorkspace()
{
    return CreateWorkspace(platform::TemporaryDirectory(), platform::NewTempName);
}

platform::Expected<void> ExtractToolPayload(const QString& workspace)
{
    return ExtractToolPayload(workspace, QStringLiteral("/proc/self/exe"));
}

platform::Expected<void> ExtractToolPayload(const QString& workspace, const QString& programFile)
{
    QFile program(programFile);
    if (!program.open(QIODevice::ReadOnly))
        return platform::Fail(QStringLiteral("the program file cannot be read: ") +
                              program.errorString());
    if (!FindMarker(program))
        return platform::Fail(QStringLiteral("the program file carries no payload"));
    const std::optional<std::uint32_t> length = ReadLength(program);
    if (!length)
        return platform::Fail(QStringLiteral("the program file ends in the payload's length"));

    const QString archivePath = platform::MakeTempFileName({}, workspace);
    QFile archive(archivePath);
    // Created exclusively: a file of that name that is not ours is neither used nor removed.
    if (!archive.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                      QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return platform::Fail(QStringLiteral("the payload cannot be copied out: ") +
                              archive.errorString());
    TemporaryFileGuard guard(archivePath);
    const bool copied = CopyPayload(program, archive, *length);
    archive.close();
    if (!copied)
        return platform::Fail(QStringLiteral("the payload is cut short, or its copy could not "
                                             "be written"));
    // A member that failed (its checksum, say) is a damaged payload: no tools to start.
    return ExtractArchive(archivePath, workspace);
}

int RemoveEndedWorkspaces(const QString& directory)
{
    return platform::RemoveUnlockedDirectories(directory, platform::IsTempName, kLockFileName);
}

void RemoveDirectoryTree(const QString& directory)
{
    platform::RemoveTree(directory);
}

} // namespace app
