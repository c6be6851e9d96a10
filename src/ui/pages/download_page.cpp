// The download page's widgets: the URL and folder fields, the folder chooser, and the log box
// (a widget of its own, log_box.*).
#include "ui/pages/download_page.h"

#include <QFileDialog>
#include <QLineEdit>

namespace ui::pages {
namespace {

std::optional<QString> SystemFolderChooser(QWidget* owner, const QString& start)
{
    const QString chosen =
        QFileDialog::getExistingDirectory(owner, QString(), start, QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen;
}

} // namespace

DownloadPage::DownloadPage(const settings::SettingsKey* settingsKey, QWidget* owner)
    : Page(owner),
      m_settingsKey(settingsKey ? std::optional<settings::SettingsKey>(*settingsKey) : std::nullopt),
      m_chooser(SystemFolderChooser)
{
    m_logFont = QFont(QStringLiteral("Verdana"), 7, QFont::Bold);
    // Verdana is seldom installed on Linux; the deps step installs DejaVu Sans.
    m_logFont.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans")});

    // The tree's window elements place the controls (until the window's first frame they sit
    // in a corner that the skin's mask hides).
    m_urlField = new QLineEdit(this);
    m_folderField = new QLineEdit(this);
    m_logBox = new pages::LogBox(this);
    m_logBox->setFont(m_logFont);

    AddControl(m_urlField);
    AddControl(m_folderField);
    AddControl(m_logBox);

    m_folderField->setText(settings::GetDownloadFolder(m_settingsKey ? &*m_settingsKey : nullptr));
}

DownloadPage::~DownloadPage()
{
    if (m_settingsKey)
        settings::WriteStringValue(*m_settingsKey, settings::names::kDefaultDownloadFolder,
                         m_folderField->text());
}

void DownloadPage::AddLogText(const QString& text)
{
    m_logBox->AddOnTop(text, m_maxLogCharacters);
}

QString DownloadPage::LogText() const
{
    return m_logBox->Text();
}

void DownloadPage::SetLogBackground(const QImage& picture)
{
    m_logBox->SetBackground(picture);
}

bool DownloadPage::ChooseDownloadFolder()
{
    const std::optional<QString> chosen = m_chooser(window(), m_folderField->text());
    if (!chosen)
        return false;
    m_folderField->setText(*chosen);
    return true;
}

void DownloadPage::SetFolderChooser(FolderChooser chooser)
{
    m_chooser = chooser ? std::move(chooser) : FolderChooser(SystemFolderChooser);
}

} // namespace ui::pages
