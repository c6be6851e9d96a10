// The extraction driver over minizip: arguments parsed like a command-line unzip, every member
// checked before and after it is written, messages in that tool's words.
#include "app/run_unzip.h"

#include "platform/file_system.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kCaseSensitive = 1;
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
    OpenMember(unzFile zip, const char* password)
        : m_zip(zip), m_openResult(unzOpenCurrentFilePassword(zip, password))
    {
    }
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

struct Options {
    std::FILE* messages = stdout; // null: nowhere
    bool complete = true;         // false once a member is not written whole
    const char* archive = nullptr;
    const char* member = nullptr;
    const char* destination = nullptr;
    const char* password = nullptr;
    bool list = false;
    bool withoutPaths = false;
    bool overwrite = false;
    bool destinationGiven = false;
    // The folder the names are relative to: the destination, opened; else the current one.
    int base = AT_FDCWD;
};

[[gnu::format(printf, 2, 3)]] void Say(std::FILE* messages, const char* format, ...)
{
    if (!messages)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(messages, format, args);
    va_end(args);
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

void MarkIncomplete(Options& options)
{
    options.complete = false;
}

// Creates every missing directory of path, parents first.
void MakeDirectories(const std::string& path, const Options& options)
{
    if (path.empty())
        return;
    std::string buffer = path;
    if (buffer.back() == '/')
        buffer.pop_back();
    if (buffer.empty() || platform::MakeDirectory(buffer.c_str(), options.base) == 0)
        return;
    for (std::size_t i = 1; i <= buffer.size(); ++i) {
        if (i < buffer.size() && buffer[i] != '/')
            continue;
        const std::string part = buffer.substr(0, i);
        if (platform::MakeDirectory(part.c_str(), options.base) == -ENOENT) {
            Say(options.messages, "couldn't create directory %s\n", part.c_str());
            return;
        }
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

std::int64_t MemberTime(const unz_file_info64& info)
{
    const unsigned long dos = info.dosDate;
    const int date = static_cast<int>(dos >> 16);
    const int time = static_cast<int>(dos & 0xFFFF);
    return platform::LocalTimeToUnix(1980 + (date >> 9), (date >> 5) & 0x0F, date & 0x1F,
                                     time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
}

// Copies the open member into fd and checks what was written against the member's stored
// size and checksum: 0, the minizip error of a failed read, -1 for a short write, or
// UNZ_CRCERROR when the data is shorter than stored or its checksum differs. minizip checks the
// checksum only of data it inflated to the stored size, so the check is made here, for every
// file.
int CopyMember(unzFile zip, int fd, const unz_file_info64& info, std::vector<char>& buffer,
               std::FILE* messages)
{
    std::uint64_t written = 0;
    uLong crc = crc32_z(0, nullptr, 0);
    for (;;) {
        const int n = unzReadCurrentFile(zip, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            Say(messages, "error %d with zipfile in unzReadCurrentFile\n", n);
            return n;
        }
        if (n == 0)
            break;
        const auto size = static_cast<std::size_t>(n);
        if (platform::WriteFully(fd, buffer.data(), size) != size) {
            Say(messages, "error in writing extracted file\n");
            return UNZ_ERRNO;
        }
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), size);
        written += size;
    }
    if (written != info.uncompressed_size || crc != info.crc) {
        Say(messages, "error %d with zipfile in unzCloseCurrentFile\n", UNZ_CRCERROR);
        return UNZ_CRCERROR;
    }
    return 0;
}

// The member's data can be turned back into what was stored: stored or deflated, and not
// encrypted unless a password was given.
bool CanInflate(const unz_file_info64& info, const char* password)
{
    if (info.compression_method != kMethodStored && info.compression_method != kMethodDeflated)
        return false;
    return password || (info.flag & kFlagEncrypted) == 0;
}

int ExtractCurrentMember(unzFile zip, Options& options)
{
    unz_file_info64 info{};
    char stored[kMaxStoredName + 1] = {};
    int err = unzGetCurrentFileInfo64(zip, &info, stored, kMaxStoredName, nullptr, 0, nullptr, 0);
    if (err != UNZ_OK) {
        Say(options.messages, "error %d with zipfile in unzGetCurrentFileInfo\n", err);
        MarkIncomplete(options);
        return err;
    }
    std::vector<char> buffer;
    try {
        buffer.resize(kTransferSize);
    } catch (const std::bad_alloc&) {
        Say(options.messages, "Error allocating memory\n");
        MarkIncomplete(options);
        return UNZ_INTERNALERROR;
    }

    // A name the buffer cuts (or that holds a zero byte) is not the member's name: writing it
    // would make a different file, or a directory where a file was stored.
    if (info.size_filename > kMaxStoredName || std::strlen(stored) != info.size_filename) {
        Say(options.messages, "error opening %s\n", stored);
        MarkIncomplete(options);
        return UNZ_OK;
    }
    const std::string storedName = stored;
    std::size_t lastPart = 0;
    for (std::size_t i = 0; i < storedName.size(); ++i) {
        if (IsSeparator(storedName[i]))
            lastPart = i + 1;
    }
    const bool isDirectory = lastPart == storedName.size();

    // Unsafe names and links are skipped like files that cannot be created.
    if (EscapesDestination(storedName) || IsSymbolicLink(info)) {
        Say(options.messages, "error opening %s\n", stored);
        MarkIncomplete(options);
        return UNZ_OK;
    }
    const std::string localName = ToLocalPath(storedName);
    if (!options.withoutPaths && platform::PathHasSymbolicLink(localName.c_str(), options.base)) {
        Say(options.messages, "error opening %s\n", stored);
        MarkIncomplete(options);
        return UNZ_OK;
    }
    if (isDirectory) {
        if (!options.withoutPaths) {
            Say(options.messages, "creating directory: %s\n", stored);
            platform::MakeDirectory(localName.c_str(), options.base);
        }
        return UNZ_OK;
    }

    if (!CanInflate(info, options.password)) {
        Say(options.messages, "error %d with zipfile in unzOpenCurrentFilePassword\n",
            UNZ_BADZIPFILE);
        MarkIncomplete(options);
        return UNZ_BADZIPFILE;
    }
    OpenMember member(zip, options.password);
    err = member.OpenResult();
    if (err != UNZ_OK) {
        Say(options.messages, "error %d with zipfile in unzOpenCurrentFilePassword\n", err);
        MarkIncomplete(options);
        return err;
    }

    const std::string target =
        ToLocalPath(options.withoutPaths ? storedName.substr(lastPart) : storedName);
    // Without "o" an existing file is kept: there is nobody to ask.
    const bool skip = !options.overwrite && platform::PathExists(target.c_str(), options.base);
    bool created = false;
    bool removeOutput = false;
    if (!skip) {
        platform::UniqueFd out = platform::CreateFileForWriting(target.c_str(), options.base);
        const std::size_t slash = target.rfind('/');
        if (!out && slash != std::string::npos) {
            MakeDirectories(target.substr(0, slash), options);
            out = platform::CreateFileForWriting(target.c_str(), options.base);
        }
        if (!out) {
            Say(options.messages, "error opening %s\n", target.c_str());
            MarkIncomplete(options);
        } else {
            created = true;
            Say(options.messages, " extracting: %s\n", target.c_str());
            err = CopyMember(zip, out.Get(), info, buffer, options.messages);
            if (err == UNZ_OK)
                platform::SetModeAndModificationTime(out.Get(), MemberMode(info), MemberTime(info));
            else
                removeOutput = true;
        }
    }

    const int closeErr = member.Close();
    if (err == UNZ_OK && closeErr != UNZ_OK) {
        Say(options.messages, "error %d with zipfile in unzCloseCurrentFile\n", closeErr);
        err = closeErr;
        // A checksum error: what was written is not what was stored.
        removeOutput = created;
    }
    // A part of a file, or a damaged one, must not pass for the member.
    if (removeOutput)
        platform::RemoveFile(target.c_str(), options.base);
    if (err != UNZ_OK)
        MarkIncomplete(options);
    return err;
}

void ExtractAll(unzFile zip, Options& options)
{
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK) {
        MarkIncomplete(options);
        return;
    }
    if (global.number_entry == 0)
        return;
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        if (ExtractCurrentMember(zip, options) != UNZ_OK)
            return;
        if (i + 1 < global.number_entry) {
            const int err = unzGoToNextFile(zip);
            if (err != UNZ_OK) {
                Say(options.messages, "error %d with zipfile in unzGoToNextFile\n", err);
                MarkIncomplete(options);
                return;
            }
        }
    }
}

void ListAll(unzFile zip, std::FILE* messages)
{
    unz_global_info64 global{};
    if (unzGetGlobalInfo64(zip, &global) != UNZ_OK)
        return;
    Say(messages, "  Length  Name\n");
    for (ZPOS64_T i = 0; i < global.number_entry; ++i) {
        unz_file_info64 info{};
        char stored[kMaxStoredName + 1] = {};
        const int err =
            unzGetCurrentFileInfo64(zip, &info, stored, kMaxStoredName, nullptr, 0, nullptr, 0);
        if (err != UNZ_OK) {
            Say(messages, "error %d with zipfile in unzGetCurrentFileInfo\n", err);
            return;
        }
        Say(messages, "%8llu  %s\n", static_cast<unsigned long long>(info.uncompressed_size),
            stored);
        if (i + 1 < global.number_entry && unzGoToNextFile(zip) != UNZ_OK)
            return;
    }
}

Options ParseArguments(int argc, const char* const argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* entry = argv[i];
        if (entry[0] == '-') {
            for (const char* p = entry + 1; *p; ++p) {
                switch (*p) {
                case 'l':
                case 'L':
                case 'v':
                case 'V':
                    options.list = true;
                    break;
                case 'e':
                case 'E':
                    options.withoutPaths = true;
                    break;
                case 'o':
                case 'O':
                    options.overwrite = true;
                    break;
                case 'd':
                case 'D':
                    options.destinationGiven = true;
                    options.destination = i + 1 < argc ? argv[i + 1] : nullptr;
                    break;
                case 'p':
                case 'P':
                    if (i + 1 < argc)
                        options.password = argv[++i];
                    break;
                default:
                    break;
                }
            }
        } else if (!options.archive) {
            options.archive = entry;
        } else if (!options.member && !options.destinationGiven) {
            options.member = entry;
        }
    }
    return options;
}

} // namespace

int UnzipExitCode(UnzipResult result)
{
    switch (result) {
    case UnzipResult::Extracted:
    case UnzipResult::Incomplete:
        return 0;
    case UnzipResult::NoArchive:
        return 1;
    case UnzipResult::NoDestination:
        return -1;
    }
    return 1;
}

UnzipResult RunUnzip(int argc, const char* const argv[], std::FILE* messages)
{
    Options options = ParseArguments(argc, argv);
    options.messages = messages;
    if (!options.archive)
        return UnzipResult::NoArchive;

    zlib_filefunc64_def fileFunctions{};
    fill_fopen64_filefunc(&fileFunctions);
    std::string opened = options.archive;
    unzFile handle = unzOpen2_64(opened.c_str(), &fileFunctions);
    if (!handle) {
        opened = opened.substr(0, 255) + ".zip";
        handle = unzOpen2_64(opened.c_str(), &fileFunctions);
    }
    const ZipArchive zip(handle);
    if (!zip) {
        Say(options.messages, "Cannot open %s or %s.zip\n", options.archive, options.archive);
        return UnzipResult::NoArchive;
    }
    Say(options.messages, "%s opened\n", opened.c_str());

    // Names are resolved from the destination's descriptor: the process's current directory,
    // which other threads may rely on, never changes.
    platform::UniqueFd destination;
    if (options.destination) {
        destination = platform::OpenDirectory(options.destination);
        if (!destination) {
            Say(options.messages, "Error changing into %s, aborting\n", options.destination);
            return UnzipResult::NoDestination;
        }
        options.base = destination.Get();
    }

    if (options.list) {
        ListAll(zip.Get(), options.messages);
    } else if (options.member) {
        if (unzLocateFile(zip.Get(), options.member, kCaseSensitive) != UNZ_OK) {
            Say(options.messages, "file %s not found in the zipfile\n", options.member);
            MarkIncomplete(options);
        } else
            ExtractCurrentMember(zip.Get(), options);
    } else {
        ExtractAll(zip.Get(), options);
    }
    return options.complete ? UnzipResult::Extracted : UnzipResult::Incomplete;
}
