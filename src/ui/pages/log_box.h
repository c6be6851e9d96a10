// The download page's log box: the tools' output, newest line first, over a picture while a job
// runs.
#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <deque>

class QImage;
class QTextLayout;

namespace ui::pages {

// The log box: shows lines newest first, each wrapped to the box's width (at blanks, and
// anywhere in a word too long for a row), and scrolls by rows with the wheel. A click neither
// places a caret nor takes focus, and the pointer over it is the arrow; the keyboard (Tab)
// may focus it, so Ctrl+C copies the log, as the context menu's "Copy" does. It keeps its
// lines in a deque and lays out only those it draws or scrolls over, each line's row count
// kept for the width it was counted at, so a new line costs the same at any length.
class LogBox : public QWidget {
public:
    explicit LogBox(QWidget* parent);

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

} // namespace ui::pages
