// The archive extraction on arbitrary archives. Nothing is written outside the destination,
// nothing there is a link, and every file there holds the data of a member of that name, by its
// stored size and checksum.
#include "app/archive_extraction.h"
#include "fuzz_check.h"
#include "platform/file_system.h"

#include <minizip/unzip.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

namespace {

namespace fs = std::filesystem;
using Stored = std::pair<std::uint64_t, std::uint32_t>; // size, checksum

// The sandbox: <root>/a.zip and <root>/dest, made once per process.
const fs::path& Root()
{
    static const fs::path root = [] {
        std::string pattern = fs::temp_directory_path() / "vandrel-fuzz-extraction-XXXXXX";
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        return fs::path(pattern);
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

// The members as the central directory lists them, names with '/' for both separators.
std::map<std::string, std::set<Stored>> ListMembers(const fs::path& archive)
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

// A file's size and checksum. The fuzzer's inputs are small, and so what they inflate to.
Stored FileContent(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    const std::string data{std::istreambuf_iterator<char>(file), {}};
    return {data.size(), static_cast<std::uint32_t>(
                             crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), data.size()))};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path archive = Root() / "a.zip";
    const fs::path dest = Root() / "dest";
    platform::RemoveTree(QString::fromStdString(dest.native()));
    FUZZ_CHECK(fs::create_directory(dest));
    FUZZ_CHECK(std::ofstream(archive, std::ios::binary | std::ios::trunc)
                   .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size))
                   .good());

    // Whether it failed is the archive's business; what it left behind is checked below.
    (void)app::ExtractArchive(QString::fromStdString(archive.native()),
                              QString::fromStdString(dest.native()));

    // Only the archive and the destination are in the sandbox.
    for (const fs::directory_entry& e : fs::directory_iterator(Root()))
        FUZZ_CHECK(e.path() == archive || e.path() == dest);
    // Every file below the destination holds a member's data; no links.
    const auto members = ListMembers(archive);
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dest)) {
        FUZZ_CHECK(!e.is_symlink());
        if (e.is_directory())
            continue;
        FUZZ_CHECK(e.is_regular_file());
        const auto member = members.find(e.path().lexically_relative(dest).native());
        FUZZ_CHECK(member != members.end());
        FUZZ_CHECK(member->second.count(FileContent(e.path())) == 1);
    }
    return 0;
}
