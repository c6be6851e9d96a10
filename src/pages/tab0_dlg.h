// The download page: the URL field, the download-folder field, and the log box that shows the
// tools' output newest line first, over a picture while a job runs.
#pragma once

#include "pages/tab_base_dlg.h"
#include "settings/settings_store.h"

#include <QFont>
#include <QImage>
#include <QPixmap>

#include <deque>
#include <functional>
#include <optional>

class QLineEdit;
class QTextLayout;

class Tab0Dlg : public TabBaseDlg {
    Q_OBJECT

public:
    static constexpr int kUrlFieldId = 1001;
    static constexpr int kFolderFieldId = 1002;
    static constexpr int kLogBoxId = 1005;
    // Beyond this many characters the oldest lines leave the log: a tool that never stops
    // printing must not exhaust memory. Far more than any run of jobs prints.
    static constexpr qsizetype kMaxLogCharacters = 8 * 1024 * 1024;

    // The log box: shows lines newest first, each wrapped to the box's width (at blanks, and
    // anywhere in a word too long for a row), and scrolls by rows with the wheel. A click neither
    // places a caret nor takes focus, and the pointer over it is the arrow; the keyboard (Tab)
    // may focus it, so Ctrl+C copies the log, as the context menu's "Copy" does. It keeps its
    // lines in a deque and lays out only those it draws or scrolls over, each line's row count
    // kept for the width it was counted at, so a new line costs the same at any length.
    class CMyEdit : public QWidget {
    public:
        explicit CMyEdit(QWidget* parent);

        // Puts text (which may hold line breaks) on top and shows the top again; the oldest
        // lines leave while more than maxCharacters are kept.
        void AddOnTop(const QString& text, qsizetype maxCharacters);
        // Every line, newest first, each followed by "\n".
        QString Text() const;
        qsizetype LineCount() const { return static_cast<qsizetype>(m_lines.size()); }
        // The index of the line at the top of the box, and the first of its rows shown there.
        qsizetype TopLine() const { return m_topLine; }
        int TopRow() const { return m_topRow; }
        // Puts the whole log on the clipboard, newest line first.
        void Copy() const;

        // A null picture gives the normal colours back.
        void SetBackground(const QImage& picture);
        bool HasBackground() const { return !m_background.isNull(); }

    protected:
        bool event(QEvent* e) override;
        void mousePressEvent(QMouseEvent* e) override;
        void mouseDoubleClickEvent(QMouseEvent* e) override;
        void keyPressEvent(QKeyEvent* e) override;
        void contextMenuEvent(QContextMenuEvent* e) override;
        void wheelEvent(QWheelEvent* e) override;
        void paintEvent(QPaintEvent* e) override;

    private:
        struct Line {
            QString text;
            // The rows it takes at rowsWidth; counted when first needed at a width.
            mutable int rows = 1;
            mutable int rowsWidth = -1;
        };
        // A place in the log: a line and one of its rows.
        struct Position {
            qsizetype line = 0;
            int row = 0;
        };

        int TextWidth() const;
        int VisibleRows() const;
        int Rows(const Line& line) const;
        // The text of line laid out in rows of the box's text width.
        void Layout(QTextLayout& layout, const QString& text) const;
        // pos moved by rows (towards older lines when positive), stopping at the first row and
        // at LastTop().
        Position Moved(Position pos, qsizetype rows) const;
        // The top that shows the oldest rows at the bottom of the box.
        Position LastTop() const;

        std::deque<Line> m_lines;   // newest first
        qsizetype m_characters = 0; // of all lines, a line break counted for each
        qsizetype m_topLine = 0;
        int m_topRow = 0;
        int m_wheelRemainder = 0;
        QPixmap m_background;
    };

    // Answers the folder chooser: the chosen folder, or nullopt when the user cancelled.
    using FolderChooser =
        std::function<std::optional<QString>(QWidget* owner, const QString& start)>;

    // settingsKey may be null (the page then keeps nothing between runs); it is copied.
    Tab0Dlg(const settings::SettingsKey* settingsKey, QWidget* owner);
    // Stores the folder field as typed.
    ~Tab0Dlg() override;

    QLineEdit* UrlField() const { return m_urlField; }
    QLineEdit* FolderField() const { return m_folderField; }
    CMyEdit* LogBox() const { return m_logBox; }
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
    CMyEdit* m_logBox = nullptr;
    qsizetype m_maxLogCharacters = kMaxLogCharacters;
    FolderChooser m_chooser;
};
