// The web view plugin: the only code that links the web engine.
#include "ui/pages/web_view.h"

#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace ui::pages {
namespace {

class EngineView final : public WebView {
public:
    explicit EngineView(QWidget* parent) : WebView(parent), m_view(new QWebEngineView(this))
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_view);
        QWebEngineSettings* settings = m_view->settings();
        // Playing is what the user asked for: the page needs no further gesture to start.
        settings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, false);
        // The player page is a local file that reads the local video file.
        settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    }

    void Navigate(const QUrl& url) override { m_view->setUrl(url); }
    QUrl Address() const override { return m_view->url(); }
    void RunJavaScript(const QString& script, std::function<void(const QVariant&)> done) override
    {
        m_view->page()->runJavaScript(script, [done = std::move(done)](const QVariant& result) {
            if (done)
                done(result);
        });
    }

private:
    QWebEngineView* m_view;
};

} // namespace

class EngineViewFactory : public QObject, public WebViewFactory {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID VANDREL_WEB_VIEW_FACTORY_IID)
    Q_INTERFACES(ui::pages::WebViewFactory)

public:
    WebView* CreateWebView(QWidget* parent) override { return new EngineView(parent); }
};

} // namespace ui::pages

#include "web_view_plugin.moc"
