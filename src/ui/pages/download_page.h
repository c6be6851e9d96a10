// The download page: the URL field, the download-folder field, and the log box that shows the
// tools' output newest line first, over a picture while a job runs.
#pragma once

#include "settings/settings_store.h"
#include "ui/pages/log_box.h"
#include "ui/pages/page.h"

#include <QFont>
#include <QImage>

#include <functional>
#include <optional>

class QLineEdit;

namespace ui::pages {

class DownloadPage : public Page {
    Q_OBJECT

public:
    // Beyond this many characters the oldest lines leave the log: a tool that never stops
    // printing must not exhaust memory. Far more than any run of jobs prints.
    static constexpr qsizetype kMaxLogCharacters = 8 * 1024 * 1024;

    // Answers the folder chooser: the chosen folder, or nullopt when the user cancelled.
    using FolderChooser =
        std::function<std::optional<QString>(QWidget* owner, const QString& start)>;

    // settingsKey may be null (the page then keeps nothing between runs); it is copied.
    DownloadPage(const settings::SettingsKey* settingsKey, QWidget* owner);
    // Stores the folder field as typed.
    ~DownloadPage() override;

    QLineEdit* UrlField() const { return m_urlField; }
    QLineEdit* FolderField() const { return m_folderField; }
    pages::LogBox* LogBox() const { return m_logBox; }
    const QFont& LogFont() const { return m_logFont; }

    // Puts text on top of the log; earlier texts stay below it. The cost does not depend on
    // how much the log already holds.
    void AddLogText(const QString& text);
    // The whole log, lines separated by "\n", newest first.
    QString LogText() const;
    // Lowers or raises the log's limit (kMaxLogCharacters unless set).
    void SetMaxLogCharacters(qsizetype characters) { m_maxLogCharacters = characters; }

    // With a picture the log box shows it behind white text; a null picture removes it.
    void SetLogBackground(const QImage& picture);

    // Lets the user pick the download folder, starting at the field's folder; a choice replaces
    // the field's text, cancelling leaves it. True when the field changed.
    bool ChooseDownloadFolder();
    // Replaces the system's folder chooser (tests answer it themselves).
    void SetFolderChooser(FolderChooser chooser);

private:
    std::optional<settings::SettingsKey> m_settingsKey;
    QFont m_logFont;
    QLineEdit* m_urlField = nullptr;
    QLineEdit* m_folderField = nullptr;
    pages::LogBox* m_logBox = nullptr;
    qsizetype m_maxLogCharacters = kMaxLogCharacters;
    FolderChooser m_chooser;
};

} // namespace ui::pages
