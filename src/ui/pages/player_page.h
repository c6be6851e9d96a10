// The player page: plays a Flash video that no program of the user's takes in the page,
// through the workspace's player.htm in an embedded web view made on first use, after a copy
// it can play has been made when the page's player does not read the file's codecs; every
// other file goes to the user's own program.
#pragma once

#include "ui/pages/page.h"

#include <QPointer>

#include <functional>
#include <memory>

class QLabel;

namespace ui::pages {

class WebView;

// A Flash video being made into one the page plays. Destroying it stops the work and removes
// what it made.
class VideoPreparation {
public:
    virtual ~VideoPreparation() = default;
};

class PlayerPage : public Page {
    Q_OBJECT

public:
    // Whether a program of the user's is registered for the file's type.
    using DefaultAppLookup = std::function<bool(const QString& path)>;
    // Opens the file with the user's program.
    using FileOpener = std::function<void(const QString& path)>;
    // Makes the web view inside parent; may give null.
    using WebViewCreator = std::function<WebView*(QWidget* parent)>;
    // Gets the path of the copy to play, or an empty one and why there is none.
    using PreparedCallback = std::function<void(const QString& copy, const QString& why)>;
    // Starts making a copy of path that the page plays; ready runs on the GUI thread unless the
    // preparation is destroyed first. Null when path plays in the page as it is.
    using VideoPreparer = std::function<std::unique_ptr<VideoPreparation>(const QString& path,
                                                                          PreparedCallback ready)>;
    // A line for the log: a Flash video went to the user's program after all.
    using Notice = std::function<void(const QString& line)>;

    // workspace: the directory that holds player.htm.
    PlayerPage(QString workspace, QWidget* owner);
    ~PlayerPage() override;

    // True when the file is played in the page (the caller then makes the page current).
    bool Play(const QString& path);
    // Empties the page: the web view goes with any playback, a preparation with its copy.
    void OnHide() override;

    // The file location for player.htm: the bytes of the file name (platform::EncodeFileName:
    // UTF-8, and a name that is not UTF-8 as it is on disk), every byte other than a letter, a
    // digit or one of ~ ! * ( ) ' as "%" and two lower-case hex digits.
    static QString EncodeFileLocation(const QString& path);
    // The address that plays path in the page.
    QString PlayerAddress(const QString& path) const;

    // Null until a video is played in the page, and again once the page has been hidden.
    WebView* Browser() const;
    // The control that the tree places: the web view fills it once there is one.
    QWidget* BrowserHost() const { return m_browserHost; }

    // Replace the system's answers (tests).
    void SetDefaultAppLookup(DefaultAppLookup lookup);
    void SetFileOpener(FileOpener opener);
    void SetWebViewCreator(WebViewCreator creator);
    // Without a preparer every Flash video plays as it is; without a notice nothing is said.
    void SetVideoPreparer(VideoPreparer preparer) { m_preparer = std::move(preparer); }
    void SetNotice(Notice notice) { m_notice = std::move(notice); }

private:
    WebView* EnsureBrowser();
    // Ends the web view, with whatever it shows, and its renderer.
    void DropBrowser();
    QLabel* PreparingLabel();
    void HidePreparingLabel();
    void ShowVideo(const QString& path);
    void OnPrepared(const QString& path, const QString& copy, const QString& why);

    QString m_workspace;
    QWidget* m_browserHost = nullptr;
    QPointer<WebView> m_browser;
    DefaultAppLookup m_lookup;
    FileOpener m_opener;
    WebViewCreator m_creator;
    VideoPreparer m_preparer;
    Notice m_notice;
    QLabel* m_preparing = nullptr; // a child of the browser host, made on first use
    // Counts the plays and hides, so that what a preparation said late does not act on a
    // later video.
    unsigned m_plays = 0;
    std::unique_ptr<VideoPreparation> m_preparation;
};

// The system's answers: `xdg-mime query default` for the file's MIME type, and the desktop's
// opener (xdg-open), given the file's URL made from the name's bytes, or an address
// ("scheme://...") as it is.
bool HasDefaultApplication(const QString& path);
void OpenWithUserProgram(const QString& path);

} // namespace ui::pages
