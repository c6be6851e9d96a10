// What a job's tool writes, understood: the output cut into lines, the lines worth showing and
// the progress figures handed on, and the names of the files the downloader reports collected.
// It lives on the thread that runs the tool, so nothing in it is shared.
#pragma once

#include <QByteArray>
#include <QList>
#include <QSet>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace download {

enum class ToolGrammar { Downloader, Converter };

class ToolOutput {
public:
    // A name was added to Names(); alreadyThere as FoundAlreadyThere says. The owner can take a
    // finished file at once.
    using NamedCallback = std::function<void(const QByteArray& name, bool alreadyThere)>;

    // Each may be empty. They run inside Add or Finish, on the caller's thread, and must not
    // call Add or Finish themselves.
    struct Callbacks {
        // A line worth showing, in the tool's own bytes.
        std::function<void(const QByteArray& text)> onText;
        // The downloader's progress, in thousandths (0..1000).
        std::function<void(std::int32_t thousandths)> onProgress;
        NamedCallback onNamed;
        // A subtitle file the downloader wrote, named as files are (relative, as bytes).
        std::function<void(const QByteArray& name)> onSubtitles;
        // The text of an error line, after it was shown.
        std::function<void(const QByteArray& text)> onError;
    };

    ToolOutput(ToolGrammar grammar, Callbacks callbacks);

    // Line assembly: whole lines are parsed, the rest waits for more output.
    void Add(std::string_view text);
    // The output has ended: a last line without a line end counts too.
    void Finish();

    // The reported file names in order of first arrival, each once, at most kMaxNames.
    const QList<QByteArray>& Names() const { return m_names; }
    // True for a name the downloader found already there rather than downloaded in this run.
    bool FoundAlreadyThere(const QByteArray& name) const { return m_alreadyThere.contains(name); }

    // Output without a line end beyond this many bytes (plus the piece that crossed it) is taken
    // as a line of its own, so a tool cannot grow the pending text without bound.
    static constexpr std::size_t kMaxPending = 64 * 1024;
    // A tool that reports names without end cannot grow the list without bound.
    static constexpr qsizetype kMaxNames = 10000;

private:
    void ParseLine(std::string_view line);
    void ParseDownloaderLine(std::string_view line);
    void ParseConverterLine(std::string_view line);
    void Show(std::string_view text);
    void AddName(std::string_view name, bool alreadyThere);

    ToolGrammar m_grammar;
    Callbacks m_callbacks;
    std::string m_pending;
    // How much of m_pending is known to hold no line end: only what arrives later is scanned.
    std::size_t m_scanned = 0;
    // A line has just ended and only white space followed so far: the white space that opens
    // the next line is dropped even when it arrives in later pieces.
    bool m_skipSpace = false;
    QList<QByteArray> m_names;
    QSet<QByteArray> m_nameSet;
    QSet<QByteArray> m_alreadyThere;
};

} // namespace download
