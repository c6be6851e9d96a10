// Build step: appends the tool payload to the linked program — marker, length, then the zip
// archive scrambled with the one-byte key. Fails, and removes the program so that the next build
// links it afresh, when the program already holds the marker at a 4-aligned offset.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <vector>

namespace {

constexpr unsigned char kMarker[4] = {0x0D, 0xF0, 0xAD, 0xDE};
constexpr unsigned char kScrambleKey = 0xA7;

bool ReadAll(const char* path, std::vector<unsigned char>& data)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PROGRAM ARCHIVE\n", argv[0]);
        return 2;
    }
    const char* programPath = argv[1];
    std::vector<unsigned char> program;
    std::vector<unsigned char> archive;
    if (!ReadAll(programPath, program) || !ReadAll(argv[2], archive)) {
        std::fprintf(stderr, "append_payload: cannot read %s or %s\n", programPath, argv[2]);
        return 1;
    }
    for (std::size_t i = 0; i + 4 <= program.size(); i += 4) {
        if (program[i] == kMarker[0] && program[i + 1] == kMarker[1] &&
            program[i + 2] == kMarker[2] && program[i + 3] == kMarker[3]) {
            std::fprintf(stderr,
                         "append_payload: %s holds the payload marker at offset %zu; the "
                         "program would find its tools there\n",
                         programPath, i);
            std::remove(programPath);
            return 1;
        }
    }
    if (archive.size() > std::numeric_limits<std::uint32_t>::max()) {
        std::fprintf(stderr, "append_payload: the archive is larger than 4 GiB\n");
        return 1;
    }

    std::vector<unsigned char> tail;
    // The marker must start at a multiple of 4.
    tail.resize((4 - program.size() % 4) % 4, 0);
    tail.insert(tail.end(), std::begin(kMarker), std::end(kMarker));
    const auto length = static_cast<std::uint32_t>(archive.size());
    for (int shift = 0; shift < 32; shift += 8)
        tail.push_back(static_cast<unsigned char>(length >> shift));
    for (unsigned char byte : archive)
        tail.push_back(static_cast<unsigned char>(byte ^ kScrambleKey));

    std::ofstream out(programPath, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(tail.data()),
              static_cast<std::streamsize>(tail.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "append_payload: cannot write %s\n", programPath);
        std::remove(programPath);
        return 1;
    }
    return 0;
}
