// The embedded web view of the player page. It lives in a plugin of its own (vandrel_web), so
// the web engine's libraries are mapped, and its memory paid, only when something is played.
#pragma once

#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <QtPlugin>

#include <functional>

namespace ui::pages {

// A widget that shows one web page.
class WebView : public QWidget {
public:
    using QWidget::QWidget;

    virtual void Navigate(const QUrl& url) = 0;
    // The address last navigated to.
    virtual QUrl Address() const = 0;
    // Runs script in the page's main frame; done gets its result on the GUI thread.
    virtual void RunJavaScript(const QString& script,
                               std::function<void(const QVariant&)> done) = 0;
};

// What the plugin exports.
class WebViewFactory {
public:
    virtual ~WebViewFactory() = default;
    // A new view, a child of parent.
    virtual WebView* CreateWebView(QWidget* parent) = 0;
};

// Loads the plugin on the first call (and prepares the web engine for it: the sandbox switch
// for root, the shared OpenGL context) and makes a view; null when the plugin or OpenGL is
// not available.
WebView* CreateWebView(QWidget* parent);
// Whether the plugin has been loaded in this process.
bool IsWebViewLoaded();

} // namespace ui::pages

#define VANDREL_WEB_VIEW_FACTORY_IID "org.vandrel.WebViewFactory/1"
Q_DECLARE_INTERFACE(ui::pages::WebViewFactory, VANDREL_WEB_VIEW_FACTORY_IID)
