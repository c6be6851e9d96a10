// The display check: which Qt platforms would be tried, an xcb connection to the X server, and
// a connect to the Wayland compositor's socket, each without Qt.
#include "platform/display.h"

#include "platform/unique_fd.h"

#include <QDir>
#include <QLibraryInfo>
#include <QStringList>

#include <cstring>
#include <memory>
#include <optional>

#include <sys/socket.h>
#include <sys/un.h>
#include <xcb/xcb.h>

namespace platform {
namespace {

constexpr char kDefaultPlatform[] = "xcb";

// The platforms Qt will try, in order, as its application start decides them.
QStringList PlatformCandidates()
{
    const QString configured = qEnvironmentVariable("QT_QPA_PLATFORM");
    QString names = QString::fromLatin1(kDefaultPlatform);
    if (!configured.isEmpty()) {
        names = configured;
    } else {
        const QString session = qEnvironmentVariable("XDG_SESSION_TYPE");
        const QString desktops = (qEnvironmentVariable("XDG_CURRENT_DESKTOP") + u' ' +
                                  qEnvironmentVariable("XDG_SESSION_DESKTOP"))
                                     .toLower();
        // Qt runs GNOME's Wayland sessions through X, and keeps X as the fallback.
        if (session == u"wayland" && !desktops.contains(u"gnome"))
            names = QStringLiteral("wayland;xcb");
    }
    QStringList candidates;
    for (const QString& entry : names.split(u';', Qt::SkipEmptyParts))
        candidates.push_back(entry.section(u':', 0, 0).trimmed().toLower());
    return candidates;
}

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// The check's connection, held until the application has its own (EndDisplayCheck).
XcbConnection& HeldConnection()
{
    static XcbConnection s_connection;
    return s_connection;
}

std::optional<QString> XcbProblem()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("(DISPLAY is not set)");
    XcbConnection connection(xcb_connect(display.constData(), nullptr));
    if (xcb_connection_has_error(connection.get()) != 0)
        return QStringLiteral("\"%1\" (DISPLAY)").arg(QString::fromLocal8Bit(display));
    HeldConnection() = std::move(connection);
    return std::nullopt;
}

bool HasWaylandPlugin()
{
    QStringList folders;
    const QString pluginPath = qEnvironmentVariable("QT_QPA_PLATFORM_PLUGIN_PATH");
    if (!pluginPath.isEmpty())
        folders.push_back(pluginPath);
    for (const QString& base :
         qEnvironmentVariable("QT_PLUGIN_PATH").split(u':', Qt::SkipEmptyParts))
        folders.push_back(base + QStringLiteral("/platforms"));
    folders.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    for (const QString& folder : folders) {
        if (!QDir(folder).entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty())
            return true;
    }
    return false;
}

bool CanConnect(const QByteArray& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= static_cast<qsizetype>(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, socketPath.constData(),
                static_cast<std::size_t>(socketPath.size()));
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    return fd &&
           ::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

std::optional<QString> WaylandProblem()
{
    // A compositor that handed over a connected socket needs no lookup.
    if (!qgetenv("WAYLAND_SOCKET").isEmpty() && HasWaylandPlugin())
        return std::nullopt;
    QByteArray name = qgetenv("WAYLAND_DISPLAY");
    const QString shown =
        QStringLiteral("\"%1\" (WAYLAND_DISPLAY)")
            .arg(name.isEmpty() ? QStringLiteral("wayland-0") : QString::fromLocal8Bit(name));
    if (name.isEmpty())
        name = "wayland-0";
    QByteArray path = name;
    if (!name.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return shown;
        path = runtime + '/' + name;
    }
    if (!HasWaylandPlugin() || !CanConnect(path))
        return shown;
    return std::nullopt;
}

} // namespace

void EndDisplayCheck()
{
    HeldConnection().reset();
}

Expected<void> CheckDisplay()
{
    std::optional<QString> first;
    for (const QString& platform : PlatformCandidates()) {
        std::optional<QString> problem;
        if (platform == u"xcb")
            problem = XcbProblem();
        else if (platform.startsWith(u"wayland"))
            problem = WaylandProblem();
        if (!problem)
            return {};
        if (!first)
            first = problem;
    }
    if (first)
        return Fail(*first);
    return {};
}

} // namespace platform
