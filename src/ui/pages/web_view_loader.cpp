// Loading the web view plugin on first use. Linking the web engine into the program would map
// its libraries at every start and, on X11, create an OpenGL context at once (together some
// 85 MB of resident memory and 200 ms); loaded here, only a run that plays a video pays.
#include "ui/pages/web_view.h"

#include "platform/process_user.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QPluginLoader>

#include <memory>

// Qt GUI's setter of the context that every OpenGL context of the process shares with. The web
// engine renders through it. Qt sets it up only when Qt::AA_ShareOpenGLContexts is set before
// the application is made, which would create the context at every start; it is set here
// instead, just before the engine is loaded. Exported by Qt GUI, not declared in a public
// header.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);

namespace ui::pages {
namespace {

WebViewFactory* g_factory = nullptr;
bool g_tried = false;

QStringList PluginCandidates()
{
    const QString name = QStringLiteral(VANDREL_WEB_PLUGIN_NAME);
    const QString appDir = QCoreApplication::applicationDirPath();
    // Beside the program in the build, or where the install step puts it relative to bin/.
    QStringList candidates = {
        appDir + u'/' + name,
        QDir::cleanPath(appDir + u'/' + QStringLiteral(VANDREL_WEB_PLUGIN_FROM_BIN) + u'/' + name)};
    // The build's own copy, for the tests and benchmarks that run from their own folders; an
    // installed program never loads a plugin from the build tree.
    const QString buildDir = QStringLiteral(VANDREL_BUILD_DIR);
    if (appDir == buildDir || appDir.startsWith(buildDir + u'/'))
        candidates << QStringLiteral(VANDREL_WEB_PLUGIN_BUILD_PATH);
    return candidates;
}

bool PrepareSharedGlContext()
{
    if (QOpenGLContext::globalShareContext())
        return true;
    auto context = std::make_unique<QOpenGLContext>();
    if (!context->create())
        return false;
    // The application owns it from here on, as Qt's own shared context would be.
    context->setParent(QCoreApplication::instance());
    qt_gl_set_global_share_context(context.release());
    return true;
}

WebViewFactory* LoadFactory()
{
    if (g_tried)
        return g_factory;
    g_tried = true;
    // The engine's sandbox refuses to run for root; it can only be switched off.
    if (platform::RunsAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // One page plays one video: one renderer, and the sound in the engine's own process rather
    // than a service process of its own (some 10 MB of PSS less). The user's flags come after,
    // so they win; read once, when the engine starts.
    const QByteArray userFlags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--renderer-process-limit=1 --disable-features=AudioServiceOutOfProcess" +
                (userFlags.isEmpty() ? QByteArray() : ' ' + userFlags));
    // Without OpenGL the engine cannot render (it would crash); the page then stays empty.
    if (!PrepareSharedGlContext())
        return nullptr;
    for (const QString& candidate : PluginCandidates()) {
        if (!QFileInfo(candidate).isFile())
            continue;
        // Never unloaded: views made by it live until the window goes.
        auto* loader = new QPluginLoader(candidate, QCoreApplication::instance());
        if (auto* factory = qobject_cast<WebViewFactory*>(loader->instance())) {
            g_factory = factory;
            return g_factory;
        }
    }
    return nullptr;
}

} // namespace

WebView* CreateWebView(QWidget* parent)
{
    WebViewFactory* factory = LoadFactory();
    return factory ? factory->CreateWebView(parent) : nullptr;
}

bool IsWebViewLoaded()
{
    return g_factory != nullptr;
}

} // namespace ui::pages
