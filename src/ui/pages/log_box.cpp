// The log box: lines kept in a deque, laid out only where they are drawn or scrolled over.
#include "ui/pages/log_box.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>
#include <QWheelEvent>

#include <algorithm>

namespace ui::pages {
namespace {

// The pattern's origin lies 5 pixels up and left of the log box, which is laid over the status
// picture with a margin of 5: so the pattern lines up with that picture.
constexpr QPoint kPatternOrigin(-5, -5);
// Space between the box's left edge and the text.
constexpr int kTextMargin = 2;

} // namespace

LogBox::LogBox(QWidget* parent) : QWidget(parent)
{
    // Tab reaches the box, so Ctrl+C can copy from it; a click does not.
    setFocusPolicy(Qt::TabFocus);
    setCursor(Qt::ArrowCursor);
    setContextMenuPolicy(Qt::DefaultContextMenu);
    // paintEvent covers every pixel: the picture, or the base colour.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LogBox::AddOnTop(const QString& text, qsizetype maxCharacters)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(u'\r', u'\n');
    const QStringList lines = normal.split(u'\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        m_characters += line->size() + 1;
        m_lines.push_front(Line{*line});
    }
    while (m_characters > maxCharacters && m_lines.size() > 1) {
        m_characters -= m_lines.back().text.size() + 1;
        m_lines.pop_back();
    }
    // The newest text is in view, as after rewriting the whole text.
    m_topLine = 0;
    m_topRow = 0;
    update();
}

QString LogBox::Text() const
{
    QString text;
    text.reserve(m_characters);
    for (const Line& line : m_lines) {
        text += line.text;
        text += u'\n';
    }
    return text;
}

void LogBox::Copy() const
{
    QGuiApplication::clipboard()->setText(Text());
}

void LogBox::SetBackground(const QImage& picture)
{
    if (picture.isNull()) {
        m_background = QPixmap();
        setPalette(QPalette());
    } else {
        // Transparent pixels of the picture show white.
        QImage opaque(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
        painter.end();
        m_background = QPixmap::fromImage(opaque);
        QPalette white = palette();
        white.setColor(QPalette::Text, Qt::white);
        setPalette(white);
    }
    update();
}

bool LogBox::event(QEvent* e)
{
    // Ctrl+C is the box's own while it has the focus, whatever shortcut the window may hold.
    if (e->type() == QEvent::ShortcutOverride &&
        static_cast<QKeyEvent*>(e)->matches(QKeySequence::Copy)) {
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

void LogBox::mousePressEvent(QMouseEvent* e)
{
    e->accept();
}

void LogBox::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
}

void LogBox::keyPressEvent(QKeyEvent* e)
{
    if (e->matches(QKeySequence::Copy)) {
        Copy();
        e->accept();
        return;
    }
    // Escape and the rest go on to the window.
    QWidget::keyPressEvent(e);
}

void LogBox::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(QStringLiteral("Copy"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(!m_lines.empty());
    connect(copy, &QAction::triggered, this, [this] { Copy(); });
    menu.exec(e->globalPos());
}

int LogBox::TextWidth() const
{
    return std::max(1, width() - 2 * kTextMargin);
}

int LogBox::VisibleRows() const
{
    return std::max(1, height() / std::max(1, fontMetrics().lineSpacing()));
}

void LogBox::Layout(QTextLayout& layout, const QString& text) const
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setText(text);
    layout.setFont(font());
    layout.setTextOption(option);
    const int spacing = std::max(1, fontMetrics().lineSpacing());
    const int width = TextWidth();
    layout.beginLayout();
    for (int y = 0;; y += spacing) {
        QTextLine row = layout.createLine();
        if (!row.isValid())
            break;
        row.setLineWidth(width);
        row.setPosition(QPointF(0, y));
    }
    layout.endLayout();
}

int LogBox::Rows(const Line& line) const
{
    // The box's font is set once, before any line: the width alone decides the count.
    const int width = TextWidth();
    if (line.rowsWidth != width) {
        QTextLayout layout;
        Layout(layout, line.text);
        line.rows = std::max(1, layout.lineCount());
        line.rowsWidth = width;
    }
    return line.rows;
}

LogBox::Position LogBox::LastTop() const
{
    const int visible = VisibleRows();
    qsizetype rows = 0;
    for (qsizetype i = LineCount() - 1; i >= 0; --i) {
        rows += Rows(m_lines[static_cast<size_t>(i)]);
        if (rows >= visible)
            return {i, static_cast<int>(rows - visible)};
    }
    return {};
}

LogBox::Position LogBox::Moved(Position pos, qsizetype rows) const
{
    if (m_lines.empty())
        return {};
    const auto before = [](Position a, Position b) {
        return a.line < b.line || (a.line == b.line && a.row < b.row);
    };
    const auto rowsOf = [this](qsizetype line) { return Rows(m_lines[static_cast<size_t>(line)]); };
    pos.row = std::min(pos.row, rowsOf(pos.line) - 1);
    if (rows > 0) {
        const Position last = LastTop();
        // Line by line, so only the lines passed over are laid out.
        while (rows > 0 && before(pos, last)) {
            const int below = rowsOf(pos.line) - 1 - pos.row;
            if (rows <= below) {
                pos.row += static_cast<int>(rows);
                rows = 0;
            } else {
                rows -= below + 1;
                ++pos.line;
                pos.row = 0;
            }
        }
        if (before(last, pos))
            pos = last;
    } else {
        while (rows < 0 && (pos.line > 0 || pos.row > 0)) {
            if (-rows <= pos.row) {
                pos.row += static_cast<int>(rows);
                rows = 0;
            } else {
                rows += pos.row + 1;
                --pos.line;
                pos.row = rowsOf(pos.line) - 1;
            }
        }
    }
    return pos;
}

void LogBox::wheelEvent(QWheelEvent* e)
{
    // One notch (120) scrolls the desktop's usual number of rows.
    m_wheelRemainder += e->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    const qsizetype step = qsizetype{notches} * QApplication::wheelScrollLines();
    const Position top = Moved({m_topLine, m_topRow}, -step);
    if (top.line != m_topLine || top.row != m_topRow) {
        m_topLine = top.line;
        m_topRow = top.row;
        update();
    }
    e->accept();
}

void LogBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), palette().base());
    } else {
        // drawTiledPixmap's offset is the picture's pixel drawn at the box's corner.
        const QPoint corner = -kPatternOrigin;
        painter.drawTiledPixmap(
            rect(), m_background,
            QPoint(corner.x() % m_background.width(), corner.y() % m_background.height()));
    }
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const int spacing = std::max(1, fontMetrics().lineSpacing());
    // Only the lines in view are laid out; each gives its row count to the cache on the way.
    int firstRow = m_topRow;
    int y = 0;
    for (qsizetype i = m_topLine; i < LineCount() && y < height(); ++i) {
        const Line& line = m_lines[static_cast<size_t>(i)];
        QTextLayout layout;
        Layout(layout, line.text);
        line.rows = std::max(1, layout.lineCount());
        line.rowsWidth = TextWidth();
        firstRow = std::min(firstRow, line.rows - 1);
        const QPointF origin(kTextMargin, y - firstRow * spacing);
        for (int row = firstRow; row < line.rows && y < height(); ++row, y += spacing) {
            if (row < layout.lineCount())
                layout.lineAt(row).draw(&painter, origin);
        }
        firstRow = 0;
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace ui::pages
