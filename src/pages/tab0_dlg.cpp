// The download page's widgets: the URL and folder fields, the folder chooser, and the log box
// that keeps the newest line on top over the busy picture.
#include "pages/tab0_dlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>

namespace {

// The pattern's origin lies 5 pixels up and left of the log box, which is laid over the status
// picture with a margin of 5: so the pattern lines up with that picture.
constexpr QPoint kPatternOrigin(-5, -5);
// Space between the box's left edge and the text.
constexpr int kTextMargin = 2;

std::optional<QString> SystemFolderChooser(QWidget* owner, const QString& start)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

Tab0Dlg::CMyEdit::CMyEdit(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setContextMenuPolicy(Qt::NoContextMenu);
    // paintEvent covers every pixel: the picture, or the base colour.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Tab0Dlg::CMyEdit::AddOnTop(const QString& text, qsizetype maxCharacters)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normal.replace(u'\r', u'\n');
    const QStringList lines = normal.split(u'\n');
    for (auto line = lines.crbegin(); line != lines.crend(); ++line) {
        m_characters += line->size() + 1;
        m_lines.push_front(*line);
    }
    while (m_characters > maxCharacters && m_lines.size() > 1) {
        m_characters -= m_lines.back().size() + 1;
        m_lines.pop_back();
    }
    // The newest text is in view, as after rewriting the whole text.
    m_topLine = 0;
    update();
}

QString Tab0Dlg::CMyEdit::Text() const
{
    QString text;
    text.reserve(m_characters);
    for (const QString& line : m_lines) {
        text += line;
        text += u'\n';
    }
    return text;
}

void Tab0Dlg::CMyEdit::SetBackground(const QImage& picture)
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

void Tab0Dlg::CMyEdit::mousePressEvent(QMouseEvent* e)
{
    e->accept();
}

void Tab0Dlg::CMyEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
}

qsizetype Tab0Dlg::CMyEdit::VisibleLines() const
{
    return std::max(1, height() / std::max(1, fontMetrics().lineSpacing()));
}

qsizetype Tab0Dlg::CMyEdit::MaxTopLine() const
{
    return std::max<qsizetype>(0, LineCount() - VisibleLines());
}

void Tab0Dlg::CMyEdit::wheelEvent(QWheelEvent* e)
{
    // One notch (120) scrolls the desktop's usual number of lines.
    m_wheelRemainder += e->angleDelta().y();
    const int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    const qsizetype step = qsizetype{notches} * QApplication::wheelScrollLines();
    const qsizetype top = std::clamp<qsizetype>(m_topLine - step, 0, MaxTopLine());
    if (top != m_topLine) {
        m_topLine = top;
        update();
    }
    e->accept();
}

void Tab0Dlg::CMyEdit::paintEvent(QPaintEvent*)
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
    const QFontMetrics metrics = fontMetrics();
    const int spacing = std::max(1, metrics.lineSpacing());
    const qsizetype shown = std::min<qsizetype>(VisibleLines() + 1, LineCount() - m_topLine);
    for (qsizetype i = 0; i < shown; ++i) {
        const int baseline = static_cast<int>(i) * spacing + metrics.ascent();
        painter.drawText(kTextMargin, baseline, m_lines[static_cast<size_t>(m_topLine + i)]);
    }
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
    m_logBox->AddOnTop(text, m_maxLogCharacters);
}

QString Tab0Dlg::LogText() const
{
    return m_logBox->Text();
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
