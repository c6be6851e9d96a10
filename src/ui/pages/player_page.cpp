// The player page: which program plays a file (the user's own, or the web view for Flash
// video), and the player page's address with the file's location encoded in it.
#include "ui/pages/player_page.h"

#include "platform/file_name.h"
#include "ui/pages/web_view.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMimeDatabase>
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
        const QString address = PlayerAddress(path);
        if (WebView* browser = EnsureBrowser())
            browser->Navigate(QUrl::fromEncoded(address.toLatin1()));
        return true;
    }
    m_opener(path);
    return false;
}

void PlayerPage::OnHide()
{
    if (m_browser)
        m_browser->Navigate(QUrl(QStringLiteral("about:blank")));
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
