// Desktop notifications through the freedesktop Notifications service on the session bus: a
// word when a job ends while the user is elsewhere; clicking it brings the window back.
#pragma once

#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QDBusMessage;

namespace ui {

class JobNotifier : public QObject {
    Q_OBJECT

public:
    // Clicking a notification of this notifier raises and activates window.
    // The session bus is the one DBUS_SESSION_BUS_ADDRESS names when first used.
    explicit JobNotifier(QWidget* window);

    // Shows a notification from "Vandrel" with the window's icon, summary and body (plain
    // text). Returns at once: the service is only called asynchronously, and without a session
    // bus or a Notifications service nothing is shown and nothing is reported.
    void Notify(const QString& summary, const QString& body);

    // How many notifications the service has shown and not yet closed.
    qsizetype Shown() const { return m_shown.size(); }

private Q_SLOTS:
    void OnActionInvoked(uint id, const QString& action, const QDBusMessage& message);
    void OnNotificationClosed(uint id, uint reason, const QDBusMessage& message);

private:
    struct ShownNotification {
        uint id = 0;
        QString service; // the unique bus name of the service that showed it
    };

    void SendNotify(const QString& summary, const QString& body, bool bodyMarkup);
    void RaiseWindow();

    QPointer<QWidget> m_window;
    QDBusConnection m_bus;
    QList<ShownNotification> m_shown; // oldest first, bounded
};

} // namespace ui
