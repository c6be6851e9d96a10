// Notifications through org.freedesktop.Notifications. Every call is asynchronous: the
// capabilities are asked first (whether the body is read as markup), then Notify; a missing
// bus or service ends the chain without a word.
#include "ui/main/job_notifier.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <optional>

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
const QString kDefaultAction = QStringLiteral("default");
constexpr int kIconSize = 64;
// Notifications a service never reports closed are forgotten beyond this many.
constexpr qsizetype kMaxShown = 32;

// The "image-data" hint: raw RGBA pixels, so the icon shows without being installed.
struct NotificationImage {
    int width = 0;
    int height = 0;
    int rowStride = 0;
    bool hasAlpha = true;
    int bitsPerSample = 8;
    int channels = 4;
    QByteArray data;
};

} // namespace

Q_DECLARE_METATYPE(NotificationImage)

namespace {

QDBusArgument& operator<<(QDBusArgument& arg, const NotificationImage& image)
{
    arg.beginStructure();
    arg << image.width << image.height << image.rowStride << image.hasAlpha << image.bitsPerSample
        << image.channels << image.data;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, NotificationImage& image)
{
    arg.beginStructure();
    arg >> image.width >> image.height >> image.rowStride >> image.hasAlpha >>
        image.bitsPerSample >> image.channels >> image.data;
    arg.endStructure();
    return arg;
}

std::optional<NotificationImage> IconImage(const QIcon& icon)
{
    if (icon.isNull())
        return std::nullopt;
    const QImage image =
        icon.pixmap(kIconSize, kIconSize).toImage().convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull())
        return std::nullopt;
    NotificationImage out;
    out.width = image.width();
    out.height = image.height();
    out.rowStride = static_cast<int>(image.bytesPerLine());
    out.data = QByteArray(reinterpret_cast<const char*>(image.constBits()),
                          static_cast<qsizetype>(image.sizeInBytes()));
    return out;
}

QString EscapeMarkup(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&'))
            out += QStringLiteral("&amp;");
        else if (c == QLatin1Char('<'))
            out += QStringLiteral("&lt;");
        else if (c == QLatin1Char('>'))
            out += QStringLiteral("&gt;");
        else
            out += c;
    }
    return out;
}

} // namespace

namespace ui {

JobNotifier::JobNotifier(QWidget* window) : m_window(window), m_bus(QDBusConnection::sessionBus())
{
    qDBusRegisterMetaType<NotificationImage>();
    if (!m_bus.isConnected())
        return;
    // Any sender may emit these; a signal counts only from the service that showed that id.
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                  SLOT(OnActionInvoked(uint, QString, QDBusMessage)));
    m_bus.connect(QString(), kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                  SLOT(OnNotificationClosed(uint, uint, QDBusMessage)));
}

void JobNotifier::Notify(const QString& summary, const QString& body)
{
    if (!m_bus.isConnected())
        return;
    const QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                            QStringLiteral("GetCapabilities"));
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(ask), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, summary, body](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                const QDBusPendingReply<QStringList> reply = *w;
                if (reply.isError())
                    return; // no service: nothing to show
                SendNotify(summary, body, reply.value().contains(QStringLiteral("body-markup")));
            });
}

void JobNotifier::SendNotify(const QString& summary, const QString& body, bool bodyMarkup)
{
    // The installed desktop entry lets the service group and name the program's notifications.
    QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("org.vandrel.Vandrel")}};
    if (m_window) {
        if (const std::optional<NotificationImage> image = IconImage(m_window->windowIcon()))
            hints.insert(QStringLiteral("image-data"), QVariant::fromValue(*image));
    }
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("Vandrel") << uint(0) << QStringLiteral("vandrel") << summary
         << (bodyMarkup ? EscapeMarkup(body) : body)
         << QStringList{kDefaultAction, QStringLiteral("Show")} << hints << int(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return;
        if (m_shown.size() >= kMaxShown)
            m_shown.removeFirst();
        m_shown.append({reply.value(), reply.reply().service()});
    });
}

void JobNotifier::OnActionInvoked(uint id, const QString& action, const QDBusMessage& message)
{
    if (action != kDefaultAction)
        return;
    const bool ours =
        std::any_of(m_shown.cbegin(), m_shown.cend(), [&](const ShownNotification& n) {
            return n.id == id && n.service == message.service();
        });
    if (ours)
        RaiseWindow();
}

void JobNotifier::OnNotificationClosed(uint id, uint /*reason*/, const QDBusMessage& message)
{
    m_shown.removeIf(
        [&](const ShownNotification& n) { return n.id == id && n.service == message.service(); });
}

void JobNotifier::RaiseWindow()
{
    // A window that was closed stays closed; a minimized one comes back.
    if (!m_window || !m_window->isVisible())
        return;
    if (m_window->isMinimized())
        m_window->setWindowState(m_window->windowState() & ~Qt::WindowMinimized);
    m_window->raise();
    m_window->activateWindow();
}

} // namespace ui
