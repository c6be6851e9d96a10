// Reading drops: links from a browser, files from a file manager.
#include "ui/main/dropped.h"

#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

namespace ui {

QString DroppedAddress(const QMimeData& data)
{
    const auto isWebAddress = [](const QUrl& url) {
        return url.isValid() && !url.host().isEmpty() &&
               (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    };
    if (data.hasUrls()) {
        for (const QUrl& url : data.urls()) {
            if (isWebAddress(url))
                return url.toString(QUrl::FullyEncoded);
        }
        return {};
    }
    if (data.hasText()) {
        const QString text = data.text().trimmed();
        const QUrl url(text, QUrl::StrictMode);
        if (!text.contains(QRegularExpression(QStringLiteral("\\s"))) && isWebAddress(url))
            return text;
    }
    return {};
}

QStringList DroppedFiles(const QMimeData& data)
{
    QStringList paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            paths << url.toLocalFile();
    }
    return paths;
}

} // namespace ui
