// The player page: plays a Flash video that no program of the user's takes in the page,
// through the workspace's player.htm in an embedded web view made on first use; every other
// file goes to the user's own program.
#pragma once

#include "ui/pages/page.h"

#include <QPointer>

#include <functional>

namespace ui::pages {

class WebView;

class PlayerPage : public Page {
    Q_OBJECT

public:
    // Whether a program of the user's is registered for the file's type.
    using DefaultAppLookup = std::function<bool(const QString& path)>;
    // Opens the file with the user's program.
    using FileOpener = std::function<void(const QString& path)>;
    // Makes the web view inside parent; may give null.
    using WebViewCreator = std::function<WebView*(QWidget* parent)>;

    // workspace: the directory that holds player.htm.
    PlayerPage(QString workspace, QWidget* owner);
    ~PlayerPage() override;

    // True when the file is played in the page (the caller then makes the page current).
    bool Play(const QString& path);
    // Blanks the page, which stops any playback.
    void OnHide() override;

    // The file location for player.htm: the bytes of the file name (platform::EncodeFileName:
    // UTF-8, and a name that is not UTF-8 as it is on disk), every byte other than a letter, a
    // digit or one of ~ ! * ( ) ' as "%" and two lower-case hex digits.
    static QString EncodeFileLocation(const QString& path);
    // The address that plays path in the page.
    QString PlayerAddress(const QString& path) const;

    // Null until the first video is played in the page.
    WebView* Browser() const;
    // The control that the tree places: the web view fills it once there is one.
    QWidget* BrowserHost() const { return m_browserHost; }

    // Replace the system's answers (tests).
    void SetDefaultAppLookup(DefaultAppLookup lookup);
    void SetFileOpener(FileOpener opener);
    void SetWebViewCreator(WebViewCreator creator);

private:
    WebView* EnsureBrowser();

    QString m_workspace;
    QWidget* m_browserHost = nullptr;
    QPointer<WebView> m_browser;
    DefaultAppLookup m_lookup;
    FileOpener m_opener;
    WebViewCreator m_creator;
};

// The system's answers: `xdg-mime query default` for the file's MIME type, and the desktop's
// opener (xdg-open), given the file's URL made from the name's bytes, or an address
// ("scheme://...") as it is.
bool HasDefaultApplication(const QString& path);
void OpenWithUserProgram(const QString& path);

} // namespace ui::pages
