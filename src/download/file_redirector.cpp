// Line assembly and the two output grammars. The tools write UTF-8 (or another encoding in
// which bytes below 0x80 are never part of a longer character), so line ends, semicolons and
// blanks are found byte by byte.
#include "download/file_redirector.h"

#include "download/job_text_event.h"

#include <QCoreApplication>

#include <memory>

namespace {

constexpr std::string_view kDownloadPrefix = "[download] ";
constexpr std::string_view kDestination = "Destination: ";
constexpr std::string_view kAlreadyDownloaded = "has already been downloaded";
constexpr std::string_view kErrorPrefix = "ERROR: ";
// The downloader's own line naming the JavaScript runtime yt-dlp uses, once a run.
constexpr std::string_view kJsRuntimePrefix = "JavaScript runtime: ";
// The blank before the phrase and the phrase itself end such a line.
constexpr std::size_t kAlreadySuffix = 1 + kAlreadyDownloaded.size();
// The words are joined by 0xA0, the no-break space of the Western code pages.
constexpr std::string_view kNoSuchFile = "no\xA0such\xA0"
                                         "file\xA0or\xA0"
                                         "directory";

bool IsLeadingSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

std::string_view CutAtSemicolon(std::string_view line)
{
    const std::size_t semicolon = line.find(';');
    return semicolon == std::string_view::npos ? line : line.substr(0, semicolon);
}

} // namespace

CFileRedirector::CFileRedirector(bool isDownloader, QObject* target)
    : m_isDownloader(isDownloader), m_target(target)
{
    m_pollInterval = std::chrono::milliseconds(100);
}

CFileRedirector::~CFileRedirector()
{
    StopReader();
}

bool CFileRedirector::Run(const QString& commandLine)
{
    return Launch(commandLine);
}

bool CFileRedirector::Run(const QStringList& argv, const QString& workingDirectory)
{
    return Launch(argv, workingDirectory);
}

void CFileRedirector::OnLaunching()
{
    // Cleared between the initial Shutdown (which signals it) and the new reader, so the
    // signal of this run's end is the only one a waiter can see.
    m_finished.Reset();
    m_pending.clear();
    m_scanned = 0;
    m_skipSpace = false;
}

void CFileRedirector::Shutdown()
{
    CRedirector::Shutdown();
    m_finished.Set();
}

void CFileRedirector::OnOutputText(std::string_view text)
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

void CFileRedirector::ParseLine(std::string_view line)
{
    if (m_isDownloader)
        ParseDownloaderLine(line);
    else
        ParseConverterLine(line);
}

void CFileRedirector::ParseDownloaderLine(std::string_view line)
{
    if (line.starts_with(kDownloadPrefix)) {
        const std::string_view rest = line.substr(kDownloadPrefix.size());
        // A name first, whatever it holds: a title such as "BETA" is not a progress line.
        // Names and errors are taken whole; a semicolon ends only what a progress line says.
        if (rest.starts_with(kDestination)) {
            AddName(rest.substr(kDestination.size()), false);
        } else if (const std::string_view progress = CutAtSemicolon(line);
                   progress.find("ETA") != std::string_view::npos) {
            Post(progress.substr(kDownloadPrefix.size()));
        } else if (line.find(kAlreadyDownloaded) != std::string_view::npos) {
            Post(rest);
            const std::size_t cut = kDownloadPrefix.size() + kAlreadySuffix;
            AddName(line.size() < cut ? std::string_view() : rest.substr(0, line.size() - cut),
                    true);
        }
    } else if (line.starts_with(kJsRuntimePrefix)) {
        Post(line);
    } else if (line.starts_with(kErrorPrefix)) {
        // Whole: the reason or the address often comes after a second colon.
        Post(line.substr(kErrorPrefix.size()));
    }
}

void CFileRedirector::ParseConverterLine(std::string_view line)
{
    line = CutAtSemicolon(line);
    if (line.find(kNoSuchFile) != std::string_view::npos)
        Post(line);
}

QList<QByteArray> CFileRedirector::Names() const
{
    std::lock_guard lock(m_namesMutex);
    return m_names;
}

bool CFileRedirector::FoundAlreadyThere(const QByteArray& name) const
{
    std::lock_guard lock(m_namesMutex);
    return m_alreadyThere.contains(name);
}

void CFileRedirector::AddName(std::string_view name, bool alreadyThere)
{
    {
        std::lock_guard lock(m_namesMutex);
        if (m_names.size() >= kMaxNames)
            return;
        QByteArray bytes(name.data(), static_cast<qsizetype>(name.size()));
        if (m_nameSet.contains(bytes))
            return;
        if (alreadyThere)
            m_alreadyThere.insert(bytes);
        m_nameSet.insert(bytes);
        m_names.append(std::move(bytes));
    }
    m_named.Set();
}

void CFileRedirector::Post(std::string_view text)
{
    if (!m_target)
        return;
    auto event = std::make_unique<JobTextEvent>(
        QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    QCoreApplication::postEvent(m_target, event.release()); // the queue owns it now
}
