// The command line: argument words (the input split at zero bytes) through the parser and the
// run-mode decision. Every word keeps its bytes, and the decision is one the words can make.
#include "app/command_line.h"
#include "app/run_mode.h"
#include "download/job_kind.h"
#include "fuzz_check.h"
#include "platform/file_name.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> words{"vandrel", ""};
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            words.emplace_back();
        else
            words.back().push_back(static_cast<char>(data[i]));
    }
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());

    const QStringList decoded =
        app::CommandLine::WordsFromArgv(static_cast<int>(argv.size()), argv.data());
    FUZZ_CHECK(decoded.size() + 1 == static_cast<qsizetype>(words.size()));
    for (qsizetype i = 0; i < decoded.size(); ++i)
        FUZZ_CHECK(platform::EncodeFileName(decoded[i]).toStdString() == words[i + 1]);

    app::CommandLine options;
    options.Parse(decoded);
    const app::StartRequest request = app::DecideRunMode(options, QStringLiteral("/start"));
    FUZZ_CHECK(request.jobKind >= download::JobKind::None &&
               request.jobKind <= download::JobKind::Mp4);
    if (!request.openWindow) {
        FUZZ_CHECK(options.GetFlag(QStringLiteral("update")));
        FUZZ_CHECK(request.jobKind == download::JobKind::None && request.url.isEmpty() &&
                   request.playerFile.isEmpty());
    }
    // A job needs an address, and only one of the values is taken.
    if (request.jobKind != download::JobKind::None)
        FUZZ_CHECK(request.playerFile.isEmpty() && request.convertValue.isEmpty());
    // An address without a job is a plain word's.
    if (!request.url.isEmpty() && request.jobKind == download::JobKind::None)
        FUZZ_CHECK(options.PlainWords().contains(request.url));

    // The player file is taken from the start folder: absolute, or an address as given.
    FUZZ_CHECK(request.playerFile.isEmpty() || request.playerFile.startsWith(u'/') ||
               request.playerFile.contains(QStringLiteral("://")));
    return 0;
}
