// The downloader's command line from a job's kind and options, the browsers' cookie stores where
// the downloader looks for them on Linux, and its words for a site that wants a signed-in user.
#include "download/job_options.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace download {

namespace {

QString Word(std::string_view text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

int MaxHeight(Quality quality)
{
    switch (quality) {
    case Quality::UpTo1080:
        return 1080;
    case Quality::UpTo720:
        return 720;
    case Quality::UpTo480:
        return 480;
    case Quality::Best:
        break;
    }
    return 0;
}

// "de.*,en.*" for a German desktop, "en.*" for an English one or a language that is no plain
// code: the desktop's name never reaches the command line unchecked.
QString SubtitleLanguages(const QString& language)
{
    QString code;
    for (const QChar c : language) {
        if (c < u'A' || (c > u'Z' && c < u'a') || c > u'z')
            break;
        code += c.toLower();
    }
    if (code.size() < 2 || code.size() > 3 || code == u"en")
        return QStringLiteral("en.*");
    return code + QStringLiteral(".*,en.*");
}

QStringList Subfolders(const QString& folder)
{
    QStringList found;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
        found << dir.filePath(name);
    return found;
}

bool AnyFile(const QStringList& folders, const QStringList& names)
{
    for (const QString& folder : folders)
        for (const QString& name : names)
            if (QFileInfo(folder + u'/' + name).isFile())
                return true;
    return false;
}

// The folder of a Chromium-based browser's profiles in the configuration folder.
QString ChromiumFolder(CookiesFrom browser)
{
    switch (browser) {
    case CookiesFrom::Chromium:
        return QStringLiteral("chromium");
    case CookiesFrom::Chrome:
        return QStringLiteral("google-chrome");
    case CookiesFrom::Brave:
        return QStringLiteral("BraveSoftware/Brave-Browser");
    case CookiesFrom::Edge:
        return QStringLiteral("microsoft-edge");
    case CookiesFrom::None:
    case CookiesFrom::Firefox:
        break;
    }
    return {};
}

} // namespace

QStringList DownloaderArguments(JobKind kind, const JobOptions& options, const QString& language,
                                const QStringList& addresses)
{
    // The title's own letters in every script; at most 150 bytes of it and 30 of the id, so
    // that the name with the downloader's own suffixes (".f137.mp4.part-Frag12.part") fits 255.
    QStringList args{QStringLiteral("-ic"), QStringLiteral("-o"),
                     QStringLiteral("%(title).150B [%(id).30B].%(ext)s")};
    // An MP3 needs only the sound: the best audio-only format, else the best with both. The
    // default would fetch the video too, and picks a silent one where the sound comes apart
    // and the video's codecs are not named (an HLS master with an audio rendition).
    if (kind == JobKind::Mp3) {
        args << QStringLiteral("-f") << QStringLiteral("ba/b");
    } else if (const int height = MaxHeight(options.quality)) {
        args << QStringLiteral("-f")
             << QStringLiteral("bv*[height<=%1]+ba/b[height<=%1]/b").arg(height);
    }
    if (options.subtitles != Subtitles::None) {
        // Only an MP4 is sure to be a container the subtitles can go into.
        if (options.subtitles == Subtitles::Inside && kind == JobKind::Mp4)
            args << QStringLiteral("--embed-subs");
        else
            args << QStringLiteral("--write-subs");
        args << QStringLiteral("--sub-langs") << SubtitleLanguages(language);
    }
    if (options.cookies != CookiesFrom::None)
        args << QStringLiteral("--cookies-from-browser")
             << Word(ChoiceOf(kCookieSources, options.cookies).word);
    // "--" first: a word that begins with "-" is an address, never an option.
    args << QStringLiteral("--");
    args += addresses;
    return args;
}

bool HasCookieStore(CookiesFrom browser)
{
    const QString home = QDir::homePath();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (browser == CookiesFrom::Firefox) {
        // Newer releases follow the XDG folders; older ones, Flatpak and Snap have their own.
        for (const QString& root :
             {config + QStringLiteral("/mozilla/firefox"),
              home + QStringLiteral("/.mozilla/firefox"),
              home + QStringLiteral("/.var/app/org.mozilla.firefox/config/mozilla/firefox"),
              home + QStringLiteral("/.var/app/org.mozilla.firefox/.mozilla/firefox"),
              home + QStringLiteral("/snap/firefox/common/.mozilla/firefox")}) {
            if (AnyFile(QStringList{root} + Subfolders(root) +
                            Subfolders(root + QStringLiteral("/Profiles")),
                        {QStringLiteral("cookies.sqlite")}))
                return true;
        }
        return false;
    }
    const QString folder = ChromiumFolder(browser);
    return !folder.isEmpty() &&
           AnyFile(Subfolders(config + u'/' + folder),
                   {QStringLiteral("Cookies"), QStringLiteral("Network/Cookies")});
}

bool AsksToSignIn(const QByteArray& error)
{
    static const char* const phrases[] = {
        "sign in",   "sign-in",   "log in",    "login required",   "logged in",
        "logged-in", "not a bot", "--cookies", "registered users", "authenticat"};
    const QByteArray text = error.toLower();
    for (const char* phrase : phrases)
        if (text.contains(phrase))
            return true;
    return false;
}

} // namespace download
