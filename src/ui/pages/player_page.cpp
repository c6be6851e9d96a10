// The player page: which program plays a file (the user's own, or the web view for Flash
// video), and the player page's address with the file's location encoded in it.
#include "ui/pages/player_page.h"

#include "platform/file_name.h"
#include "ui/pages/web_view.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMimeDatabase>
#include <QPalette>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <QVBoxLayout>

namespace ui::pages {
namespace {

constexpr int kLookupTimeoutMs = 5000;

bool IsUnreserved(unsigned char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '~' ||
           c == '!' || c == '*' || c == '(' || c == ')' || c == '\'';
}

} // namespace

bool HasDefaultApplication(const QString& path)
{
    const QString mimeType =
        QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    QProcess query;
    query.start(QStringLiteral("xdg-mime"),
                {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    // No xdg-mime, or no answer: nothing is known to be registered.
    if (!query.waitForStarted(kLookupTimeoutMs))
        return false;
    query.closeWriteChannel();
    if (!query.waitForFinished(kLookupTimeoutMs)) {
        query.kill();
        query.waitForFinished(kLookupTimeoutMs);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

void OpenWithUserProgram(const QString& path)
{
    // An address (--player=https://...) goes to the opener as given, not as a file's name.
    static const QRegularExpression kAddress(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (kAddress.match(path).hasMatch()) {
        QDesktopServices::openUrl(QUrl(path));
        return;
    }
    if (!path.startsWith(u'/')) {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
        return;
    }
    // Not QUrl::fromLocalFile: it would turn a byte that is not UTF-8 into another name.
    const QByteArray encoded = platform::EncodeFileName(path).toPercentEncoding("/");
    QDesktopServices::openUrl(QUrl::fromEncoded("file://" + encoded, QUrl::StrictMode));
}

PlayerPage::PlayerPage(QString workspace, QWidget* owner)
    : Page(owner), m_workspace(std::move(workspace)), m_lookup(HasDefaultApplication),
      m_opener(OpenWithUserProgram), m_creator(CreateWebView)
{
    // Placed by the tree's window element, as the download page's controls are.
    m_browserHost = new QWidget(this);
    auto* layout = new QVBoxLayout(m_browserHost);
    layout->setContentsMargins(0, 0, 0, 0);
    AddControl(m_browserHost);
}

PlayerPage::~PlayerPage() = default;

QString PlayerPage::EncodeFileLocation(const QString& path)
{
    static constexpr char kHex[] = "0123456789abcdef";
    const QByteArray bytes = platform::EncodeFileName(path);
    QString location;
    location.reserve(bytes.size() * 3);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            location += QLatin1Char(ch);
        } else {
            location += u'%';
            location += QLatin1Char(kHex[c >> 4]);
            location += QLatin1Char(kHex[c & 0xf]);
        }
    }
    return location;
}

QString PlayerPage::PlayerAddress(const QString& path) const
{
    // The workspace part is a proper file URL, so a blank, '#' or '%' in the temporary
    // directory's path cannot break the address; for an ordinary path it is the path itself.
    const QString page = QUrl::fromLocalFile(m_workspace + QStringLiteral("/player.htm"))
                             .toString(QUrl::FullyEncoded);
    return page + QStringLiteral("?file_location=") + EncodeFileLocation(path);
}

bool PlayerPage::Play(const QString& path)
{
    if (path.isEmpty())
        return false;
    const bool flashVideo =
        QFileInfo(path).suffix().compare(QStringLiteral("flv"), Qt::CaseInsensitive) == 0;
    if (flashVideo && !m_lookup(path)) {
        // The file before, and whatever was being made of it, make way.
        ++m_plays;
        m_preparation.reset();
        if (m_preparer)
            m_preparation = m_preparer(path, [this, path](const QString& copy, const QString& why) {
                OnPrepared(path, copy, why);
            });
        if (!m_preparation) {
            ShowVideo(path);
            return true;
        }
        DropBrowser();
        QLabel* preparing = PreparingLabel();
        preparing->setText(
            QStringLiteral("Preparing %1 to play here…").arg(QFileInfo(path).fileName()));
        preparing->show();
        return true;
    }
    m_opener(path);
    return false;
}

void PlayerPage::ShowVideo(const QString& path)
{
    HidePreparingLabel();
    if (WebView* browser = EnsureBrowser()) {
        browser->show();
        browser->Navigate(QUrl::fromEncoded(PlayerAddress(path).toLatin1()));
    }
}

void PlayerPage::OnPrepared(const QString& path, const QString& copy, const QString& why)
{
    if (!copy.isEmpty()) {
        ShowVideo(copy);
        return;
    }
    HidePreparingLabel();
    // Later, not inside the preparation's own call: what the notice does may end it.
    QMetaObject::invokeMethod(
        this,
        [this, path, why, play = m_plays] {
            if (play != m_plays)
                return;
            m_opener(path);
            if (m_notice)
                m_notice(QStringLiteral("%1 could not be made ready for the player page (%2); it "
                                        "goes to the desktop's player")
                             .arg(QFileInfo(path).fileName(), why));
        },
        Qt::QueuedConnection);
}

void PlayerPage::OnHide()
{
    ++m_plays;
    m_preparation.reset();
    HidePreparingLabel();
    DropBrowser();
}

QLabel* PlayerPage::PreparingLabel()
{
    // Made when first needed: most runs never convert a video, and a window that starts with
    // fewer widgets starts sooner and smaller.
    if (!m_preparing) {
        m_preparing = new QLabel(m_browserHost);
        m_preparing->setAlignment(Qt::AlignCenter);
        m_preparing->setWordWrap(true);
        // Black with light text, as the player page itself says what it does.
        QPalette colours = m_preparing->palette();
        colours.setColor(QPalette::Window, Qt::black);
        colours.setColor(QPalette::WindowText, QColor(0xdd, 0xdd, 0xdd));
        m_preparing->setPalette(colours);
        m_preparing->setAutoFillBackground(true);
        m_browserHost->layout()->addWidget(m_preparing);
    }
    return m_preparing;
}

void PlayerPage::HidePreparingLabel()
{
    if (m_preparing)
        m_preparing->hide();
}

void PlayerPage::DropBrowser()
{
    // The view goes, not only its page: a blank page kept the renderer and its memory (some
    // 70 MB of PSS) until the next video. The engine stays loaded, so a new view comes quickly.
    if (WebView* view = m_browser.data()) {
        m_browser = nullptr;
        view->hide();
        view->deleteLater();
    }
}

WebView* PlayerPage::Browser() const
{
    return m_browser.data();
}

WebView* PlayerPage::EnsureBrowser()
{
    if (!m_browser && m_creator) {
        m_browser = m_creator(m_browserHost);
        if (m_browser) {
            m_browserHost->layout()->addWidget(m_browser);
            m_browser->show();
        }
    }
    return m_browser.data();
}

void PlayerPage::SetDefaultAppLookup(DefaultAppLookup lookup)
{
    m_lookup = lookup ? std::move(lookup) : DefaultAppLookup(HasDefaultApplication);
}

void PlayerPage::SetFileOpener(FileOpener opener)
{
    m_opener = opener ? std::move(opener) : FileOpener(OpenWithUserProgram);
}

void PlayerPage::SetWebViewCreator(WebViewCreator creator)
{
    m_creator = creator ? std::move(creator) : WebViewCreator(CreateWebView);
}

} // namespace ui::pages
