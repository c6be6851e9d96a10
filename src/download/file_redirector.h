// The redirector that runs one tool of a job (the downloader or the converter) and understands
// its output: it cuts the output into lines, posts the lines worth showing as WM_JOB_TEXT
// events, and collects the names of the files the downloader reports.
#pragma once

#include "download/redirector.h"
#include "platform/event.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>

#include <mutex>
#include <string>

class CFileRedirector : public CRedirector {
public:
    // isDownloader picks the downloader's grammar (else the converter's). target receives the
    // WM_JOB_TEXT events and must outlive the run; null posts nothing. Throws
    // std::system_error when the finished event cannot be made.
    CFileRedirector(bool isDownloader, QObject* target);
    ~CFileRedirector() override;

    // Launches the command line; the finished event stays clear until this run has ended (or
    // at once when the launch fails).
    bool Run(const QString& commandLine);
    // The same with the words given one by one, started in workingDirectory (see Launch).
    bool Run(const QStringList& argv, const QString& workingDirectory);

    // Auto-reset; signalled whenever a run ends or a launch fails.
    platform::Event& FinishedEvent() { return m_finished; }
    // Auto-reset; signalled when a name is reported, so the owner can take a finished file
    // while the tool goes on.
    platform::Event& NamedEvent() { return m_named; }
    // The reported file names in order of first arrival, each once, at most kMaxNames: those so
    // far while the tool runs, all of them after the finished event. Thread-safe.
    QList<QByteArray> Names() const;
    // True for a name the downloader found already there rather than downloaded in this run.
    bool FoundAlreadyThere(const QByteArray& name) const;

    void Shutdown() override;
    // Line assembly: whole lines go to ParseLine, the rest waits for more output.
    void OnOutputText(std::string_view text) override;

    // Output without a line end beyond this many bytes is taken as a line of its own, so a
    // tool cannot grow the pending text without bound.
    static constexpr std::size_t kMaxPending = 64 * 1024;
    // A tool that reports names without end cannot grow the list without bound.
    static constexpr qsizetype kMaxNames = 10000;

protected:
    void OnLaunching() override;

private:
    void ParseLine(std::string_view line);
    void ParseDownloaderLine(std::string_view line);
    void ParseConverterLine(std::string_view line);
    void Post(std::string_view text);
    void AddName(std::string_view name, bool alreadyThere);

    platform::Event m_finished{platform::Event::Kind::AutoReset};
    bool m_isDownloader;
    std::string m_pending;
    // How much of m_pending is known to hold no line end: only what arrives later is scanned.
    std::size_t m_scanned = 0;
    // A line has just ended and only white space followed so far: the white space that opens
    // the next line is dropped even when it arrives in later chunks.
    bool m_skipSpace = false;
    QObject* m_target;
    platform::Event m_named{platform::Event::Kind::AutoReset};
    mutable std::mutex m_namesMutex; // the reader adds names while the owner reads them
    QList<QByteArray> m_names;
    QSet<QByteArray> m_nameSet;
    QSet<QByteArray> m_alreadyThere;
};
