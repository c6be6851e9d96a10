// The tree's offsets and pictures: the canvases measure 0 x 0, so the skin picture alone gives
// the window its 781 x 786 pixels, and each field's native control gets the field less 5 pixels.
#include "ui/main/main_tree.h"

#include "ui/elements/window_handle.h"

#include <array>

namespace ui {
namespace {

constexpr std::int32_t kFieldMargin = 5;

// Every picture the builder below shows, besides the job buttons' (in the job kinds' table). One
// left out here is still shown; it is only decoded later, by the builder itself, on the
// window's thread.
// clang-format off
constexpr std::array<std::uint16_t, 19> kTreePictures = {
    kMainSkinPicture, 185, 141, 143, 160, 159, 161, 146, 158, 147,
    148, kIdleStatusPicture, 149, 134, 180, 133, 179, 186, 187};
// clang-format on

std::shared_ptr<ImageElement> Picture(std::uint16_t id)
{
    auto e = std::make_shared<ImageElement>();
    e->SetImage(LoadPngResource(id));
    return e;
}

std::shared_ptr<ButtonElement> Button(std::uint16_t base, std::uint16_t hot, QString name)
{
    auto e = std::make_shared<ButtonElement>();
    e->SetBaseImage(LoadPngResource(base));
    e->SetHotImage(LoadPngResource(hot));
    e->SetAccessibleName(std::move(name));
    return e;
}

std::shared_ptr<WindowElement> FieldWindow(QObject* window)
{
    auto e = std::make_shared<WindowElement>();
    e->SetWindow(WindowHandle::Track(window));
    e->SetTopLeftMargin(kFieldMargin, kFieldMargin);
    e->SetBottomRightMargin(kFieldMargin, kFieldMargin);
    return e;
}

template <class T>
void Place(CanvasPanel& canvas, const std::shared_ptr<T>& child, std::int32_t x, std::int32_t y)
{
    canvas.SetPosition(child.get(), x, y);
    canvas.AddChild(child);
}

// The title and the logo that both page panels show.
void AddHeading(CanvasPanel& panel)
{
    Place(panel, Picture(185), 205, 166);
    Place(panel, Picture(141), 315, 210);
}

// The ring sits around the logo's round mark, between the mark and its sound waves.
constexpr std::int32_t kRingSize = 56;
constexpr std::int32_t kMarkCentreX = 390, kMarkCentreY = 237;

void BuildDownloadPanel(MainTree& t, const MainTreeWindows& windows)
{
    CanvasPanel& panel = *t.downloadPanel;
    AddHeading(panel);
    t.progressRing = std::make_shared<ProgressRing>();
    t.progressRing->SetWidth(kRingSize);
    t.progressRing->SetHeight(kRingSize);
    t.progressRing->SetIsVisible(false);
    t.progressRing->SetAccessibleName(QStringLiteral("Progress"));
    Place(panel, t.progressRing, kMarkCentreX - kRingSize / 2, kMarkCentreY - kRingSize / 2);

    auto urlRow = std::make_shared<StackPanel>();
    urlRow->SetIsHorizontal(true);
    urlRow->AddChild(Picture(143));
    auto urlField = std::make_shared<GridPanel>();
    urlField->AddChild(Picture(160));
    t.urlWindow = FieldWindow(windows.urlField);
    urlField->AddChild(t.urlWindow);
    urlRow->AddChild(urlField);
    Place(panel, urlRow, 200, 325);

    auto folderRow = std::make_shared<StackPanel>();
    folderRow->SetIsHorizontal(true);
    folderRow->AddChild(Picture(159));
    auto folderField = std::make_shared<GridPanel>();
    folderField->AddChild(Picture(161));
    auto folderDock = std::make_shared<DockPanel>();
    t.folderButton = Button(146, 158, QStringLiteral("Browse"));
    folderDock->SetDock(t.folderButton.get(), DockSide::Right);
    folderDock->AddChild(t.folderButton);
    t.folderWindow = FieldWindow(windows.folderField); // the last child fills the rest
    folderDock->AddChild(t.folderWindow);
    folderField->AddChild(folderDock);
    folderRow->AddChild(folderField);
    Place(panel, folderRow, 200, 358);

    // No command: the checkbox only toggles. Its pictures come before IsChecked, so it starts
    // showing the checked one.
    t.playAfterDownload = std::make_shared<CheckboxElement>();
    t.playAfterDownload->SetBaseImage(LoadPngResource(147));
    t.playAfterDownload->SetCheckedBaseImage(LoadPngResource(148));
    t.playAfterDownload->SetIsChecked(true);
    t.playAfterDownload->SetAccessibleName(QStringLiteral("Play after download"));
    Place(panel, t.playAfterDownload, 295, 395);

    auto logField = std::make_shared<GridPanel>();
    t.statusImage = Picture(kIdleStatusPicture);
    logField->AddChild(t.statusImage);
    t.logWindow = FieldWindow(windows.logBox);
    logField->AddChild(t.logWindow);
    Place(panel, logField, 204, 440);

    Place(panel, Picture(149), 293, 501);
    for (std::size_t i = 0; i < download::kJobKinds.size(); ++i) {
        const download::JobKindRow& row = download::kJobKinds[i];
        const QString name = QString::fromUtf8(row.name.data(), std::ssize(row.name));
        t.jobButtons[i] = {row.kind, Button(row.picture, row.pressedPicture, name)};
        Place(panel, t.jobButtons[i].button, row.x, row.y);
    }
}

void BuildPlayerPanel(MainTree& t, const MainTreeWindows& windows)
{
    CanvasPanel& panel = *t.playerPanel;
    AddHeading(panel);
    t.back = Button(134, 180, QStringLiteral("Back"));
    Place(panel, t.back, 599, 286);
    t.browserWindow = std::make_shared<WindowElement>();
    t.browserWindow->SetWindow(WindowHandle::Track(windows.browser));
    t.browserWindow->SetWidth(450);
    t.browserWindow->SetHeight(338);
    Place(panel, t.browserWindow, 166, 303);
}

} // namespace

void PreloadMainTreePictures()
{
    for (const std::uint16_t id : kTreePictures)
        LoadPngResource(id);
    for (const download::JobKindRow& row : download::kJobKinds) {
        LoadPngResource(row.picture);
        LoadPngResource(row.pressedPicture);
    }
}

MainTree BuildMainTree(const MainTreeWindows& windows)
{
    MainTree t;
    t.root = std::make_shared<GridPanel>();
    t.skin = std::make_shared<GridPanel>();
    t.skin->AddChild(Picture(kMainSkinPicture));

    t.downloadPanel = std::make_shared<CanvasPanel>();
    t.downloadPanel->SetIsVisible(false);
    BuildDownloadPanel(t, windows);
    t.skin->AddChild(t.downloadPanel);

    t.playerPanel = std::make_shared<CanvasPanel>();
    t.playerPanel->SetIsVisible(false);
    BuildPlayerPanel(t, windows);
    t.skin->AddChild(t.playerPanel);
    t.root->AddChild(t.skin);

    auto windowButtons = std::make_shared<CanvasPanel>();
    t.minimise = Button(133, 179, QStringLiteral("Minimise"));
    Place(*windowButtons, t.minimise, 595, 101);
    t.close = Button(134, 180, QStringLiteral("Close"));
    Place(*windowButtons, t.close, 668, 165);
    t.stop = Button(186, 187, QStringLiteral("Stop"));
    t.stop->SetIsVisible(false);
    Place(*windowButtons, t.stop, 668, 165);
    t.root->AddChild(windowButtons);
    return t;
}

} // namespace ui
