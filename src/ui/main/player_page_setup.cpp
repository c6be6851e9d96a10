// The page's preparer: the file's first tags decide, so an H.264 Flash video plays at once and
// only the others wait for a conversion, which runs on a thread of its own.
#include "ui/main/player_page_setup.h"

#include "download/flash_codecs.h"
#include "download/flash_conversion.h"
#include "ui/main/main_window.h"
#include "ui/pages/download_page.h"
#include "ui/pages/player_page.h"

#include <memory>
#include <optional>

namespace ui {
namespace {

// The conversion and the receiver of its end: what it posts is dropped once this has gone.
class FlashPreparation final : public QObject, public pages::VideoPreparation {
public:
    FlashPreparation(const QString& workspace, const QString& path, download::FlashCodecs codecs,
                     pages::PlayerPage::PreparedCallback ready)
        : m_conversion(workspace, path, codecs, this,
                       [ready = std::move(ready)](const platform::Expected<QString>& copy) {
                           if (copy)
                               ready(*copy, QString());
                           else
                               ready(QString(), copy.error().text);
                       })
    {
    }

private:
    download::FlashConversion m_conversion;
};

std::unique_ptr<pages::VideoPreparation>
PrepareFlashVideo(const QString& workspace, const QString& path,
                  pages::PlayerPage::PreparedCallback ready)
{
    const std::optional<download::FlashCodecs> codecs = download::ReadFlashCodecs(path);
    if (codecs && download::PlaysInPage(*codecs))
        return nullptr;
    // Not an FLV's start: the converter reads what it is, and every stream is encoded.
    download::FlashCodecs unknown;
    unknown.incomplete = true;
    return std::make_unique<FlashPreparation>(workspace, path, codecs.value_or(unknown),
                                              std::move(ready));
}

} // namespace

pages::PlayerPage* MakePlayerPage(MainWindow& window, const QString& workspace)
{
    auto* page = new pages::PlayerPage(workspace, &window);
    page->SetVideoPreparer(
        [workspace](const QString& path, pages::PlayerPage::PreparedCallback ready) {
            return PrepareFlashVideo(workspace, path, std::move(ready));
        });
    // The empty page makes way for the log, where the line can be read.
    page->SetNotice([&window](const QString& line) {
        window.SwitchPage(MainWindow::kDownloadPage);
        window.DownloadPage()->AddLogText(line);
    });
    return page;
}

} // namespace ui
