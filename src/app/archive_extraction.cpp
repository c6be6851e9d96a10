// The extraction over minizip: every member checked before it is written (its name, its type,
// its method) and after (its size and checksum), every name resolved from the destination's
// descriptor.
#include "app/archive_extraction.h"

#include "platform/file_name.h"
#include "platform/file_system.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace app {

namespace {

constexpr std::size_t kTransferSize = 8192;
constexpr std::size_t kMaxStoredName = 256;
constexpr unsigned kDefaultMode = 0644;
constexpr unsigned kHostUnix = 3;
// The methods zlib inflates: stored and deflated. minizip hands any other method's data out
// as it is stored (bzip2) or refuses it, and then checks no checksum.
constexpr int kMethodStored = 0;
constexpr int kMethodDeflated = Z_DEFLATED;
constexpr unsigned long kFlagEncrypted = 1;

// The open archive; closed on every way out.
class ZipArchive {
public:
    explicit ZipArchive(unzFile zip) : m_zip(zip) {}
    ~ZipArchive()
    {
        if (m_zip)
            unzClose(m_zip);
    }
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    unzFile Get() const { return m_zip; }
    explicit operator bool() const { return m_zip != nullptr; }

private:
    unzFile m_zip;
};

// The current member's data, opened for reading; closed at the latest when it goes, but a caller
// that needs the result of the close (it reports a checksum error) calls Close.
class OpenMember {
public:
    explicit OpenMember(unzFile zip) : m_zip(zip), m_openResult(unzOpenCurrentFile(zip)) {}
    ~OpenMember() { Close(); }
    OpenMember(const OpenMember&) = delete;
    OpenMember& operator=(const OpenMember&) = delete;

    int OpenResult() const { return m_openResult; }
    // The result of closing, once; UNZ_OK on later calls.
    int Close()
    {
        if (m_closed)
            return UNZ_OK;
        m_closed = true;
        return unzCloseCurrentFile(m_zip);
    }

private:
    unzFile m_zip;
    int m_openResult;
    bool m_closed = false;
};

// What one extraction carries from member to member.
struct Extraction {
    int destination = -1;
    std::vector<char> buffer = std::vector<char>(kTransferSize);
    // The first member that was skipped: the extraction went on, but did not write everything.
    std::optional<platform::Error> skipped;

    void Skip(const QString& name, const char* why)
    {
        if (!skipped)
            skipped = platform::Error{name + QStringLiteral(": ") + QString::fromLatin1(why)};
    }
};

platform::Unexpected<platform::Error> MinizipFailure(const QString& name, const char* step,
                                                     int code)
{
    return platform::Fail(name + QStringLiteral(": ") + QString::fromLatin1(step) +
                          QStringLiteral(" failed (minizip error %1)").arg(code));
}

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

// A stored name that would land outside the destination: absolute, with a drive prefix, or
// with a ".." part.
bool EscapesDestination(const std::string& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return true;
    if (name.size() >= 2 && name[1] == ':')
        return true;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (name.compare(start, end - start, "..") == 0 && end - start == 2)
            return true;
        start = end + 1;
    }
    return false;
}

// Both separators count in stored names; this system's is the slash.
std::string ToLocalPath(std::string name)
{
    for (char& c : name) {
        if (c == '\\')
            c = '/';
    }
    return name;
}

// Creates every missing directory of path, parents first, stopping at a part whose parent
// could not be made.
void MakeDirectories(const std::string& path, int base)
{
    std::string buffer = path;
    if (!buffer.empty() && buffer.back() == '/')
        buffer.pop_back();
    if (buffer.empty() || platform::MakeDirectory(buffer.c_str(), base) == 0)
        return;
    for (std::size_t i = 1; i <= buffer.size(); ++i) {
        if (i < buffer.size() && buffer[i] != '/')
            continue;
        if (platform::MakeDirectory(buffer.substr(0, i).c_str(), base) == -ENOENT)
            return;
    }
}

// The member's mode bits when the archive was made on a Unix system and stored them.
unsigned MemberMode(const unz_file_info64& info)
{
    const unsigned mode = static_cast<unsigned>(info.external_fa >> 16) & 0777;
    if ((info.version >> 8) != kHostUnix || mode == 0)
        return kDefaultMode;
    return mode;
}

bool IsSymbolicLink(const unz_file_info64& info)
{
    constexpr unsigned kTypeMask = 0170000;
    constexpr unsigned kTypeLink = 0120000;
    return (info.version >> 8) == kHostUnix &&
           (static_cast<unsigned>(info.external_fa >> 16) & kTypeMask) == kTypeLink;
}

std::optional<std::int64_t> MemberTime(const unz_file_info64& info)
{
    const unsigned long dos = info.dosDate;
    const int date = static_cast<int>(dos >> 16);
    const int time = static_cast<int>(dos & 0xFFFF);
    return platform::LocalTimeToUnix(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                                     time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
}

// The member's data can be turned back into what was stored: stored or deflated, not encrypted.
bool CanInflate(const unz_file_info64& info)
{
    if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated)
        return false;
    return (info.flag & kFlagEncrypted) == 0;
}

// Copies the open member into fd and checks what was written against the member's stored size
// and checksum. minizip checks the checksum only of data it inflated to the stored size, so the
// check is made here, for every file.
platform::Expected<void> CopyMember(unzFile zip, int fd, const unz_file_info64& info,
                                    const QString& name, std::vector<char>& buffer)
{
    std::uint64_t written = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    for (;;) {
        const int n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0)
            return MinizipFailure(name, "reading", n);
        if (n == 0)
            break;
        const auto size = static_cast<std::size_t>(n);
        if (platform::WriteFully(fd, buffer.data(), size) != size)
            return platform::Fail(name + QStringLiteral(": cannot be written"), errno);
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), size);
        written += size;
    }
    if (written != info.uncompressed_size || crc != info.crc)
        return platform::Fail(name + QStringLiteral(": its data does not match its size and "
                                                    "checksum"));
    return {};
}

// The member at the archive's current position. A failure ends the extraction; a member that
// must not be written is noted as skipped, and the extraction goes on.
platform::Expected<void> ExtractMember(unzFile zip, Extraction& extraction)
{
    unz_file_info64 info{};
    char stored[kMaxStoredName + 1] = {};
    const int infoResult =
        unzGetCurrentFileInfo64(zip, &info, stored, kMaxStoredName, nullptr, 0, nullptr, 0);
    const QString shown = platform::DecodeFileName(stored);
    if (infoResult != UNZ_OK)
        return MinizipFailure(shown, "reading its header", infoResult);

    // A name the buffer cuts (or that holds a zero byte) is not the member's name: writing it
    // would make a different file, or a directory where a file was stored.
    if (info.size_filename > kMaxStoredName || std::strlen(stored) != info.size_filename) {
        extraction.Skip(shown, "a name longer than 256 bytes or with a zero byte");
        return {};
    }
    const std::string storedName = stored;
    if (EscapesDestination(storedName)) {
        extraction.Skip(shown, "a name that leaves the destination");
        return {};
    }
    if (IsSymbolicLink(info)) {
        extraction.Skip(shown, "a symbolic link");
        return {};
    }
    const std::string localName = ToLocalPath(storedName);
    const int base = extraction.destination;
    if (platform::PathHasSymbolicLink(localName.c_str(), base)) {
        extraction.Skip(shown, "a path through a symbolic link");
        return {};
    }
    if (IsSeparator(storedName.back())) {
        platform::MakeDirectory(localName.c_str(), base);
        return {};
    }

    if (!CanInflate(info))
        return platform::Fail(shown + QStringLiteral(": an encrypted member or a method zlib "
                                                     "cannot inflate"));
    OpenMember member(zip);
    if (member.OpenResult() != UNZ_OK)
        return MinizipFailure(shown, "opening its data", member.OpenResult());

    platform::UniqueFd out = platform::CreateFileForWriting(localName.c_str(), base);
    const std::size_t slash = localName.rfind('/');
    if (!out && slash != std::string::npos) {
        MakeDirectories(localName.substr(0, slash), base);
        out = platform::CreateFileForWriting(localName.c_str(), base);
    }
    platform::Expected<void> copied;
    if (!out) {
        extraction.Skip(shown, "cannot be created");
    } else {
        copied = CopyMember(zip, out.Get(), info, shown, extraction.buffer);
        if (copied)
            platform::SetModeAndModificationTime(out.Get(), MemberMode(info), MemberTime(info));
    }
    const int closeResult = member.Close();
    if (copied && closeResult != UNZ_OK)
        copied = MinizipFailure(shown, "checking its data", closeResult);
    // A part of a file, or a damaged one, must not pass for the member.
    if (!copied && out)
        platform::RemoveFile(localName.c_str(), base);
    return copied;
}

} // namespace

platform::Expected<void> ExtractArchive(const QString& archivePath, const QString& destination)
{
    zlib_filefunc64_def fileFunctions{};
    fill_fopen64_filefunc(&fileFunctions);
    const ZipArchive zip(
        unzOpen2_64(platform::EncodeFileName(archivePath).constData(), &fileFunctions));
    if (!zip)
        return platform::Fail(QStringLiteral("the archive cannot be opened"));
    const platform::UniqueFd folder =
        platform::OpenDirectory(platform::EncodeFileName(destination).constData());
    if (!folder)
        return platform::Fail(QStringLiteral("the destination cannot be opened"), errno);

    unz_global_info64 global{};
    if (const int result = unzGetGlobalInfo64(zip.Get(), &global); result != UNZ_OK)
        return MinizipFailure(QStringLiteral("the archive"), "reading its directory", result);
    Extraction extraction;
    extraction.destination = folder.Get();
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        if (i > 0) {
            if (const int result = unzGoToNextFile(zip.Get()); result != UNZ_OK)
                return MinizipFailure(QStringLiteral("the archive"), "finding the next member",
                                      result);
        }
        if (platform::Expected<void> done = ExtractMember(zip.Get(), extraction); !done)
            return done;
    }
    if (extraction.skipped)
        return platform::Unexpected{*extraction.skipped};
    return {};
}

} // namespace app
