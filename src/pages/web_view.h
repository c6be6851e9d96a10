// The embedded web view of the player page. It lives in a plugin of its own (vandrel_web), so
// the web engine's libraries are mapped, and its memory paid, only when something is played.
#pragma once

#include <QUrl>
#include <QVariant>
#include <QWidget>
#include <QtPlugin>

#include <functional>

// A widget that shows one web page.
class IWebView : public QWidget {
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
class IWebViewFactory {
public:
    virtual ~IWebViewFactory() = default;
    // A new view, a child of parent.
    virtual IWebView* CreateWebView(QWidget* parent) = 0;
};

#define VANDREL_WEB_VIEW_FACTORY_IID "org.vandrel.WebViewFactory/1"
Q_DECLARE_INTERFACE(IWebViewFactory, VANDREL_WEB_VIEW_FACTORY_IID)

// Loads the plugin on the first call (and prepares the web engine for it: the sandbox switch
// for root, the shared OpenGL context) and makes a view; null when the plugin or OpenGL is
// not available.
IWebView* CreateWebView(QWidget* parent);
// Whether the plugin has been loaded in this process.
bool IsWebViewLoaded();
