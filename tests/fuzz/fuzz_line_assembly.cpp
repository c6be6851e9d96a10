// Line assembly and the two output grammars on arbitrary tool output, handed over in pieces of
// at most 255 bytes, then ended. No crash; memory bounded by the limits; every collected name
// was reported by a "Destination" or an "already been downloaded" line of the output.
#include "download/tool_output.h"
#include "fuzz_check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kDownloadPrefix = "[download] ";
constexpr std::string_view kDestination = "[download] Destination: ";
constexpr std::string_view kAlready = "has already been downloaded";

// name follows "[download] Destination: ", or follows "[download] " on a line that goes on to
// say the file has already been downloaded.
bool ReportedIn(std::string_view output, std::string_view name)
{
    for (std::size_t at = output.find(kDownloadPrefix); at != std::string_view::npos;
         at = output.find(kDownloadPrefix, at + 1)) {
        const std::string_view rest = output.substr(at);
        if (rest.substr(kDestination.size()).starts_with(name) && rest.starts_with(kDestination))
            return true;
        const std::string_view afterPrefix = rest.substr(kDownloadPrefix.size());
        if (!afterPrefix.starts_with(name))
            continue;
        const std::size_t end = afterPrefix.find_first_of("\r\n");
        if (afterPrefix.substr(0, end).find(kAlready) != std::string_view::npos)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    const bool isDownloader = (data[0] & 1) != 0;
    // Piece sizes from 1 to 255, varied by the second byte.
    const std::size_t step = 1 + data[1] % 255;
    const std::string_view output(reinterpret_cast<const char*>(data + 2), size - 2);

    download::ToolOutput parser(
        isDownloader ? download::ToolGrammar::Downloader : download::ToolGrammar::Converter, {});
    std::size_t piece = step;
    for (std::size_t at = 0; at < output.size(); at += piece) {
        piece = 1 + (piece * 7 + step) % 255;
        parser.Add(output.substr(at, std::min(piece, output.size() - at)));
    }
    parser.Finish();
    const QList<QByteArray> names = parser.Names();
    FUZZ_CHECK(names.size() <= download::ToolOutput::kMaxNames);
    if (!isDownloader)
        FUZZ_CHECK(names.isEmpty());
    for (const QByteArray& name : names) {
        FUZZ_CHECK(static_cast<std::size_t>(name.size()) <=
                   download::ToolOutput::kMaxPending + 255);
        FUZZ_CHECK(ReportedIn(output, std::string_view(name.constData(), name.size())));
        FUZZ_CHECK(names.count(name) == 1);
    }
    return 0;
}
