// The user's choices for a job (quality, subtitles, the browser whose cookies to use), each from
// a fixed list, and what they mean to the downloader. Nothing typed reaches its command line: a
// choice is an enum, and each enum's words are the program's own.
#pragma once

#include "download/job_kind.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace download {

enum class Quality : std::int32_t { Best, UpTo1080, UpTo720, UpTo480 };
enum class Subtitles : std::int32_t { None, Beside, Inside };
enum class CookiesFrom : std::int32_t { None, Firefox, Chromium, Chrome, Brave, Edge };

struct JobOptions {
    Quality quality = Quality::Best;
    Subtitles subtitles = Subtitles::None;
    CookiesFrom cookies = CookiesFrom::None;
};

// One choice of a list: its value, the word the settings store it as (for a browser also the
// downloader's name of it), and the menu's text.
template <typename T> struct Choice {
    T value;
    std::string_view word;
    std::string_view label;
};

inline constexpr std::array<Choice<Quality>, 4> kQualities{{
    {Quality::Best, "best", "Best"},
    {Quality::UpTo1080, "1080", "Up to 1080p"},
    {Quality::UpTo720, "720", "Up to 720p"},
    {Quality::UpTo480, "480", "Up to 480p"},
}};
inline constexpr std::array<Choice<Subtitles>, 3> kSubtitleChoices{{
    {Subtitles::None, "none", "None"},
    {Subtitles::Beside, "beside", "Beside the video"},
    {Subtitles::Inside, "inside", "Inside the MP4"},
}};
inline constexpr std::array<Choice<CookiesFrom>, 6> kCookieSources{{
    {CookiesFrom::None, "none", "None"},
    {CookiesFrom::Firefox, "firefox", "Firefox"},
    {CookiesFrom::Chromium, "chromium", "Chromium"},
    {CookiesFrom::Chrome, "chrome", "Chrome"},
    {CookiesFrom::Brave, "brave", "Brave"},
    {CookiesFrom::Edge, "edge", "Edge"},
}};

// The value a stored word names, in any case; none for a word of no row (a hand-edited or
// newer file).
template <typename T, std::size_t N>
std::optional<T> ChoiceOfWord(const std::array<Choice<T>, N>& list, const QString& word)
{
    for (const Choice<T>& choice : list)
        if (word.compare(QLatin1StringView(choice.word.data(), qsizetype(choice.word.size())),
                         Qt::CaseInsensitive) == 0)
            return choice.value;
    return std::nullopt;
}

template <typename T, std::size_t N>
const Choice<T>& ChoiceOf(const std::array<Choice<T>, N>& list, T value)
{
    for (const Choice<T>& choice : list)
        if (choice.value == value)
            return choice;
    return list.front();
}

// The downloader's arguments for a job's addresses: the name template, what the kind and the
// options ask for, then "--" and the addresses. language: the desktop's language ("de", from
// QLocale), whose subtitles come first, before English.
QStringList DownloaderArguments(JobKind kind, const JobOptions& options, const QString& language,
                                const QStringList& addresses);

// Whether the browser has a cookie store where the downloader looks for one (its profile
// folders under the user's home and configuration folders).
bool HasCookieStore(CookiesFrom browser);

// Whether an error line of the downloader says the site wants a signed-in user (a sign-in, a
// bot check, an age check), which the browser's cookies can answer.
bool AsksToSignIn(const QByteArray& error);

} // namespace download
