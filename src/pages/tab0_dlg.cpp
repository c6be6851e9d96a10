#include "pages/tab0_dlg.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace {

// The pattern's origin lies 5 pixels up and left of the log box, which is laid over the status
// picture with a margin of 5: so the pattern lines up with that picture.
constexpr QPoint kPatternOrigin(-5, -5);

std::optional<QString> SystemFolderChooser(QWidget* owner, const QString& start)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

Tab0Dlg::CMyEdit::CMyEdit(QWidget* parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setReadOnly(true);
    setTextInteractionFlags(Qt::NoTextInteraction);
    setContextMenuPolicy(Qt::NoContextMenu);
    // The log is only ever prepended to; an undo history would grow with it.
    setUndoRedoEnabled(false);
    viewport()->setCursor(Qt::ArrowCursor);
    m_normalPalette = palette();
}

void Tab0Dlg::CMyEdit::SetBackground(const QImage& picture)
{
    if (picture.isNull()) {
        m_background = QPixmap();
        setPalette(m_normalPalette);
        viewport()->setAutoFillBackground(true);
    } else {
        // Transparent pixels of the picture show white.
        QImage opaque(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter painter(&opaque);
        painter.drawImage(0, 0, picture);
        painter.end();
        m_background = QPixmap::fromImage(opaque);
        QPalette white = m_normalPalette;
        white.setColor(QPalette::Text, Qt::white);
        setPalette(white);
        viewport()->setAutoFillBackground(false);
    }
    viewport()->update();
}

void Tab0Dlg::CMyEdit::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        e->accept();
        return;
    }
    QPlainTextEdit::mousePressEvent(e);
}

void Tab0Dlg::CMyEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        e->accept();
        return;
    }
    QPlainTextEdit::mouseDoubleClickEvent(e);
}

void Tab0Dlg::CMyEdit::paintEvent(QPaintEvent* e)
{
    if (!m_background.isNull()) {
        QPainter painter(viewport());
        const QRect area = viewport()->rect();
        // drawTiledPixmap's offset is the picture's pixel drawn at the area's corner.
        const QPoint corner = viewport()->mapTo(this, QPoint(0, 0)) - kPatternOrigin;
        painter.drawTiledPixmap(
            area, m_background,
            QPoint(corner.x() % m_background.width(), corner.y() % m_background.height()));
    }
    QPlainTextEdit::paintEvent(e);
}

Tab0Dlg::Tab0Dlg(const SettingsKey* settingsKey, QWidget* owner)
    : TabBaseDlg(owner),
      m_settingsKey(settingsKey ? std::optional<SettingsKey>(*settingsKey) : std::nullopt),
      m_chooser(SystemFolderChooser)
{
    m_logFont = QFont(QStringLiteral("Verdana"), 7, QFont::Bold);
    // Verdana is seldom installed on Linux; the deps step installs DejaVu Sans.
    m_logFont.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});

    m_urlField = new QLineEdit(this);
    m_urlField->setGeometry(MapDialogRect(QRect(31, 19, 147, 14)));
    m_folderField = new QLineEdit(this);
    m_folderField->setGeometry(MapDialogRect(QRect(32, 38, 148, 14)));
    m_logBox = new CMyEdit(this);
    m_logBox->setGeometry(MapDialogRect(QRect(34, 63, 164, 50)));
    m_logBox->setFont(m_logFont);

    AddControl(kUrlFieldId, m_urlField);
    AddControl(kFolderFieldId, m_folderField);
    AddControl(kLogBoxId, m_logBox);

    m_folderField->setText(GetDownloadFolder(m_settingsKey ? &*m_settingsKey : nullptr));
}

Tab0Dlg::~Tab0Dlg()
{
    if (m_settingsKey)
        WriteStringValue(*m_settingsKey, settings_names::kDefaultDownloadFolder,
                         m_folderField->text());
}

void Tab0Dlg::AddLogText(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');
    lines += u'\n';

    QTextDocument* document = m_logBox->document();
    QTextCursor top(document);
    top.insertText(lines);

    // Drop the oldest lines (at the bottom) while the log is over its limit; the empty last
    // line, which the first text left, stays.
    while (document->characterCount() > m_maxLogCharacters && document->blockCount() > 2) {
        QTextCursor oldest(document);
        oldest.movePosition(QTextCursor::End);
        oldest.movePosition(QTextCursor::PreviousBlock, QTextCursor::KeepAnchor);
        oldest.removeSelectedText();
    }

    // The newest text is in view, as after rewriting the whole text.
    m_logBox->verticalScrollBar()->setValue(0);
    m_logBox->horizontalScrollBar()->setValue(0);
}

QString Tab0Dlg::LogText() const
{
    return m_logBox->toPlainText();
}

void Tab0Dlg::SetLogBackground(const QImage& picture)
{
    m_logBox->SetBackground(picture);
}

bool Tab0Dlg::ChooseDownloadFolder()
{
    const std::optional<QString> chosen = m_chooser(window(), m_folderField->text());
    if (!chosen)
        return false;
    m_folderField->setText(*chosen);
    return true;
}

void Tab0Dlg::SetFolderChooser(FolderChooser chooser)
{
    m_chooser = chooser ? std::move(chooser) : FolderChooser(SystemFolderChooser);
}
