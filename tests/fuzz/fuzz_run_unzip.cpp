// The extraction driver on arbitrary archives, called as the program calls it. Nothing is
// written outside the destination, nothing there is a link, and every file there holds the data
// of a member of that name, by its stored size and checksum.
#include "app/run_unzip.h"
#include "fuzz_check.h"
#include "platform/file_system.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using Stored = std::pair<std::uint64_t, std::uint32_t>; // size, checksum

// The sandbox: <root>/a.zip and <root>/dest, made once per process.
const std::string& Root()
{
    static const std::string root = [] {
        std::string pattern = (std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
        pattern += "/vandrel-fuzz-unzip-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    return root;
}

// A stored name as a path below the destination: both separators, without empty and "." parts.
std::string Normalized(const std::string& stored)
{
    std::string result;
    std::string part;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i < stored.size() && stored[i] != '/' && stored[i] != '\\') {
            part.push_back(stored[i]);
            continue;
        }
        if (!part.empty() && part != ".")
            result += (result.empty() ? "" : "/") + part;
        part.clear();
    }
    return result;
}

// A descriptor closed when it goes.
struct Fd {
    explicit Fd(int value) : fd(value) { FUZZ_CHECK(fd >= 0); }
    ~Fd() { close(fd); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    const int fd;
};

// The members as the central directory lists them, names with '/' for both separators.
std::map<std::string, std::set<Stored>> ListMembers(const std::string& archive)
{
    std::map<std::string, std::set<Stored>> members;
    const std::unique_ptr<void, decltype(&unzClose)> zip(unzOpen64(archive.c_str()), unzClose);
    if (!zip)
        return members;
    for (int err = unzGoToFirstFile(zip.get()); err == UNZ_OK; err = unzGoToNextFile(zip.get())) {
        unz_file_info64 info{};
        char name[1024] = {};
        if (unzGetCurrentFileInfo64(zip.get(), &info, name, sizeof name - 1, nullptr, 0, nullptr,
                                    0) != UNZ_OK)
            break;
        members[Normalized(name)].insert(
            {info.uncompressed_size, static_cast<std::uint32_t>(info.crc)});
    }
    return members;
}

Stored FileContent(const std::string& path)
{
    const Fd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    std::uint64_t size = 0;
    uLong crc = crc32(0, nullptr, 0);
    char buffer[8192];
    for (ssize_t n; (n = read(file.fd, buffer, sizeof buffer)) > 0;) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n));
        size += static_cast<std::uint64_t>(n);
    }
    return {size, static_cast<std::uint32_t>(crc)};
}

// The names in a directory, without "." and "..".
std::vector<std::string> Entries(const std::string& dir)
{
    const std::unique_ptr<DIR, decltype(&closedir)> d(opendir(dir.c_str()), closedir);
    FUZZ_CHECK(d != nullptr);
    std::vector<std::string> names;
    while (const dirent* e = readdir(d.get())) {
        const std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    return names;
}

// Every file below dir (relative name prefix) holds a member's data; no links.
void CheckTree(const std::string& dir, const std::string& prefix,
               const std::map<std::string, std::set<Stored>>& members)
{
    for (const std::string& n : Entries(dir)) {
        const std::string path = dir + '/' + n;
        struct stat st {};
        FUZZ_CHECK(lstat(path.c_str(), &st) == 0);
        FUZZ_CHECK(!S_ISLNK(st.st_mode));
        if (S_ISDIR(st.st_mode)) {
            CheckTree(path, prefix + n + '/', members);
            continue;
        }
        FUZZ_CHECK(S_ISREG(st.st_mode));
        const auto member = members.find(prefix + n);
        FUZZ_CHECK(member != members.end());
        FUZZ_CHECK(member->second.count(FileContent(path)) == 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string archive = Root() + "/a.zip";
    const std::string dest = Root() + "/dest";
    platform::RemoveTree(QString::fromStdString(dest));
    FUZZ_CHECK(mkdir(dest.c_str(), 0700) == 0);
    {
        const Fd file(open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        FUZZ_CHECK(platform::WriteFully(file.fd, data, size) == size);
    }

    const char* const argv[] = {"unzip.exe", "-x", "-o", archive.c_str(), "-d", dest.c_str()};
    RunUnzip(6, argv, nullptr);

    // Only the archive and the destination are in the sandbox.
    for (const std::string& n : Entries(Root()))
        FUZZ_CHECK(n == "a.zip" || n == "dest");
    CheckTree(dest, "", ListMembers(archive));
    return 0;
}
