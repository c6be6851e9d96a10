// Line assembly and the two output grammars. The tools write UTF-8 (or another encoding in
// which bytes below 0x80 are never part of a longer character), so line ends, semicolons and
// blanks are found byte by byte.
#include "download/tool_output.h"

#include <charconv>
#include <optional>
#include <utility>

namespace download {

namespace {

constexpr std::string_view kDownloadPrefix = "[download] ";
constexpr std::string_view kDestination = "Destination: ";
constexpr std::string_view kSubtitles = "Subtitles: ";
constexpr std::string_view kAlreadyDownloaded = "has already been downloaded";
constexpr std::string_view kErrorPrefix = "ERROR: ";
// The downloader's own line naming the JavaScript runtime yt-dlp uses, once a run.
constexpr std::string_view kJsRuntimePrefix = "JavaScript runtime: ";
// The converter's own lines (ffmpeg's are not shown): the wrapper says so when ffmpeg is missing.
constexpr std::string_view kConverterPrefix = "convert: ";
// The blank before the phrase and the phrase itself end such a line.
constexpr std::size_t kAlreadySuffix = 1 + kAlreadyDownloaded.size();
// The percent of a progress line stands within its first bytes.
constexpr std::size_t kProgressWindow = 32;

QByteArray Bytes(std::string_view text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsLeadingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

std::string_view CutAtSemicolon(std::string_view line)
{
    const std::size_t semicolon = line.find(';');
    return semicolon == std::string_view::npos ? line : line.substr(0, semicolon);
}

// The percent at the start of a progress text ("  42.3% of 3.45MiB at ..."): blanks, one to
// three digits, perhaps a fraction, then "%". In thousandths, at most 1000.
std::optional<std::int32_t> ProgressOf(std::string_view text)
{
    text = text.substr(0, kProgressWindow);
    std::size_t at = 0;
    while (at < text.size() && IsLeadingSpace(text[at]))
        ++at;
    const std::size_t start = at;
    while (at < text.size() && at - start < 3 && IsDigit(text[at]))
        ++at;
    if (at == start)
        return std::nullopt;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction = ++at;
        while (at < text.size() && IsDigit(text[at]))
            ++at;
        if (at == fraction)
            return std::nullopt;
    }
    if (at >= text.size() || text[at] != '%')
        return std::nullopt;
    double value = 0;
    std::from_chars(text.data() + start, text.data() + at, value);
    if (value > 100.0)
        return std::nullopt;
    return static_cast<std::int32_t>(value * 10.0 + 0.5);
}

} // namespace

ToolOutput::ToolOutput(ToolGrammar grammar, Callbacks callbacks)
    : m_grammar(grammar), m_callbacks(std::move(callbacks))
{
}

void ToolOutput::Add(std::string_view text)
{
    if (m_skipSpace) {
        std::size_t skip = 0;
        while (skip < text.size() && IsLeadingSpace(text[skip]))
            ++skip;
        text.remove_prefix(skip);
        if (text.empty())
            return;
        m_skipSpace = false;
    }
    m_pending.append(text);
    std::size_t start = 0;
    std::size_t end = m_scanned;
    for (;;) {
        while (end < m_pending.size() && !IsLineEnd(m_pending[end]))
            ++end;
        if (end == m_pending.size())
            break;
        ParseLine(std::string_view(m_pending).substr(start, end - start));
        start = end + 1;
        while (start < m_pending.size() && IsLeadingSpace(m_pending[start]))
            ++start;
        m_skipSpace = start == m_pending.size();
        end = start;
    }
    m_pending.erase(0, start);
    m_scanned = m_pending.size();
    if (m_pending.size() > kMaxPending) {
        ParseLine(m_pending);
        m_pending.clear();
        m_scanned = 0;
    }
}

void ToolOutput::Finish()
{
    if (!m_pending.empty())
        ParseLine(m_pending);
    m_pending.clear();
    m_scanned = 0;
    m_skipSpace = false;
}

void ToolOutput::ParseLine(std::string_view line)
{
    if (m_grammar == ToolGrammar::Downloader)
        ParseDownloaderLine(line);
    else
        ParseConverterLine(line);
}

void ToolOutput::ParseDownloaderLine(std::string_view line)
{
    if (line.starts_with(kDownloadPrefix)) {
        const std::string_view rest = line.substr(kDownloadPrefix.size());
        // A name first, whatever it holds: a title such as "BETA" is not a progress line.
        // Names and errors are taken whole; a semicolon ends only what a progress line says.
        if (rest.starts_with(kDestination)) {
            AddName(rest.substr(kDestination.size()), false);
        } else if (rest.starts_with(kSubtitles)) {
            if (m_callbacks.onSubtitles)
                m_callbacks.onSubtitles(Bytes(rest.substr(kSubtitles.size())));
        } else if (const std::string_view progress = CutAtSemicolon(line);
                   progress.find("ETA") != std::string_view::npos) {
            const std::string_view text = progress.substr(kDownloadPrefix.size());
            Show(text);
            if (const std::optional<std::int32_t> thousandths = ProgressOf(text);
                thousandths && m_callbacks.onProgress)
                m_callbacks.onProgress(*thousandths);
        } else if (line.find(kAlreadyDownloaded) != std::string_view::npos) {
            Show(rest);
            const std::size_t cut = kDownloadPrefix.size() + kAlreadySuffix;
            AddName(line.size() < cut ? std::string_view() : rest.substr(0, line.size() - cut),
                    true);
        }
    } else if (line.starts_with(kJsRuntimePrefix)) {
        Show(line);
    } else if (line.starts_with(kErrorPrefix)) {
        // Whole: the reason or the address often comes after a second colon.
        Show(line.substr(kErrorPrefix.size()));
        if (m_callbacks.onError)
            m_callbacks.onError(Bytes(line.substr(kErrorPrefix.size())));
    }
}

void ToolOutput::ParseConverterLine(std::string_view line)
{
    if (line.starts_with(kConverterPrefix))
        Show(line);
}

void ToolOutput::AddName(std::string_view name, bool alreadyThere)
{
    if (m_names.size() >= kMaxNames)
        return;
    QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
    if (m_nameSet.contains(bytes))
        return;
    if (alreadyThere)
        m_alreadyThere.insert(bytes);
    m_nameSet.insert(bytes);
    m_names.append(bytes);
    if (m_callbacks.onNamed)
        m_callbacks.onNamed(bytes, alreadyThere);
}

void ToolOutput::Show(std::string_view text)
{
    if (m_callbacks.onText)
        m_callbacks.onText(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
}

} // namespace download
