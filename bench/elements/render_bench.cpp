// Measure plus render of a tree shaped like the main window's (a 781 x 786 skin and about 25
// pictures), against one QPainter draw of the skin into a frame of that size, in the same run.
// Also reports the same pass with straight-alpha frames, with straight-alpha pictures and with
// the four job buttons disabled, which is what chose the frame format.
#include "ui/elements/drawing_surface.h"
#include "ui/elements/frame_pool.h"
#include "ui/elements/panel.h"
#include "ui/elements/window_element.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace ui;

namespace {

// A picture at its natural size, aligned in its rectangle like the program's image element.
class Picture : public LayoutElement {
public:
    explicit Picture(QImage image) : m_image(std::move(image)) {}

protected:
    void MeasureOverride(Size) override
    {
        SetDesiredSize({Width() != Unset ? Width() : m_image.width(),
                        Height() != Unset ? Height() : m_image.height()});
    }
    void RenderOverride(DrawingSurface& s, Rect b) override
    {
        const int iw = m_image.width(), ih = m_image.height();
        const int x = HorizontalAlignment() == 1   ? b.x
                      : HorizontalAlignment() == 2 ? b.x + ((b.width - iw) >> 1)
                                                   : b.x + b.width - iw;
        const int y = VerticalAlignment() == 1   ? b.y
                      : VerticalAlignment() == 2 ? b.y + ((b.height - ih) >> 1)
                                                 : b.y + b.height - ih;
        s.DrawImage(m_image, {x, y, iw, ih}, {0, 0, iw, ih});
    }

private:
    QImage m_image;
};

struct Tree {
    std::shared_ptr<GridPanel> root;
    std::vector<std::shared_ptr<LayoutElement>> jobButtons;
};

QImage MakeImage(int w, int h, QImage::Format format, int seed)
{
    QImage image(w, h, QImage::Format_ARGB32);
    // A disc with a transparent outside, like the skin, and a gradient so nothing is uniform.
    const double cx = w / 2.0, cy = h / 2.0, r = std::min(w, h) / 2.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double dx = x - cx, dy = y - cy;
            const int a = dx * dx + dy * dy <= r * r ? 255 : 0;
            image.setPixel(x, y, qRgba((x + seed) & 255, (y * 3 + seed) & 255, seed & 255, a));
        }
    return image.convertToFormat(format);
}

Tree BuildTree(QImage::Format pictureFormat)
{
    int seed = 0;
    auto pic = [&](int w, int h) {
        return std::make_shared<Picture>(MakeImage(w, h, pictureFormat, seed += 37));
    };
    auto window = [] {
        auto w = std::make_shared<WindowElement>();
        w->SetTopLeftMargin(5, 5);
        w->SetBottomRightMargin(5, 5);
        return w;
    };
    Tree t;
    t.root = std::make_shared<GridPanel>();
    auto skinGrid = std::make_shared<GridPanel>();
    skinGrid->AddChild(pic(781, 786));

    auto download = std::make_shared<CanvasPanel>();
    auto place = [](CanvasPanel& c, std::shared_ptr<LayoutElement> e, int x, int y) {
        c.SetPosition(e.get(), x, y);
        c.AddChild(std::move(e));
    };
    place(*download, pic(369, 107), 205, 166);
    place(*download, pic(150, 80), 315, 210);
    for (int row = 0; row < 2; ++row) {
        auto stack = std::make_shared<StackPanel>();
        stack->SetIsHorizontal(true);
        stack->AddChild(pic(134, 28));
        auto field = std::make_shared<GridPanel>();
        field->AddChild(pic(268, 28));
        if (row == 0) {
            field->AddChild(window());
        } else {
            auto dock = std::make_shared<DockPanel>();
            auto button = pic(88, 28);
            dock->SetDock(button.get(), DockSide::Right);
            dock->AddChild(button);
            dock->AddChild(window());
            field->AddChild(dock);
        }
        stack->AddChild(field);
        place(*download, stack, 200, row == 0 ? 325 : 358);
    }
    place(*download, pic(226, 24), 295, 395);
    auto log = std::make_shared<GridPanel>();
    log->AddChild(pic(386, 62));
    log->AddChild(window());
    place(*download, log, 204, 440);
    place(*download, pic(201, 57), 293, 501);
    const int buttons[4][3] = {{68, 227, 535}, {70, 313, 575}, {70, 400, 575}, {70, 486, 535}};
    for (const auto& b : buttons) {
        auto e = pic(b[0], b[0]);
        t.jobButtons.push_back(e);
        place(*download, e, b[1], b[2]);
    }
    skinGrid->AddChild(download);

    auto player = std::make_shared<CanvasPanel>();
    player->SetIsVisible(false);
    place(*player, pic(369, 107), 205, 166);
    place(*player, pic(150, 80), 315, 210);
    place(*player, pic(17, 15), 599, 286);
    auto browser = std::make_shared<WindowElement>();
    browser->SetWidth(450);
    browser->SetHeight(338);
    place(*player, browser, 166, 303);
    skinGrid->AddChild(player);

    t.root->AddChild(skinGrid);
    auto windowButtons = std::make_shared<CanvasPanel>();
    place(*windowButtons, pic(25, 7), 595, 101);
    place(*windowButtons, pic(17, 15), 668, 165);
    t.root->AddChild(windowButtons);
    return t;
}

double MedianMs(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    work(); // warm up
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

// One frame the way the host makes it: measure, a frame from the pool, render, publish (the
// frame shown before goes back to the pool).
double FrameMs(Tree& t, QImage::Format frameFormat, int runs)
{
    const std::shared_ptr<FramePool> pool = FramePool::Create();
    std::shared_ptr<QImage> shown;
    QImage others[2]; // the other format, reused the same way
    int next = 0;
    return MedianMs(
        [&] {
            t.root->Measure({Unset, Unset});
            const Size s = t.root->DesiredSize();
            std::shared_ptr<QImage> frame;
            if (frameFormat == kFramePixelFormat) {
                frame = pool->Take(s.width, s.height);
            } else {
                QImage& other = others[next ^= 1];
                if (other.size() != QSize(s.width, s.height))
                    other = QImage(s.width, s.height, frameFormat);
                frame = std::shared_ptr<QImage>(&other, [](QImage*) {});
            }
            {
                DrawingSurface surface(*frame, DrawingSurface::Content::Stale);
                t.root->Render(surface, {0, 0, s.width, s.height});
            }
            shown = std::move(frame);
        },
        runs);
}

} // namespace

int main()
{
    constexpr int kRuns = 201;
    const QImage skin = MakeImage(781, 786, kFramePixelFormat, 1);
    QImage blitFrame = CreateFrameBitmap(781, 786);
    const double blit = MedianMs(
        [&] {
            QPainter p(&blitFrame);
            p.drawImage(0, 0, skin);
        },
        kRuns);

    Tree tree = BuildTree(kFramePixelFormat);
    const double frame = FrameMs(tree, kFramePixelFormat, kRuns);
    const double straightFrame = FrameMs(tree, QImage::Format_ARGB32, kRuns);
    Tree straightPictures = BuildTree(QImage::Format_ARGB32);
    const double straightSources = FrameMs(straightPictures, kFramePixelFormat, kRuns);
    for (auto& b : tree.jobButtons)
        b->SetIsEnabled(false);
    const double disabled = FrameMs(tree, kFramePixelFormat, kRuns);

    std::printf("render.frame_ms: %.3f\n", frame);
    std::printf("render.ratio_to_blit: %.2f\n", frame / blit);
    std::printf("render.blit_ms: %.3f\n", blit);
    std::printf("render.frame_ms_straight_alpha_frame: %.3f\n", straightFrame);
    std::printf("render.frame_ms_straight_alpha_pictures: %.3f\n", straightSources);
    std::printf("render.frame_ms_four_disabled_buttons: %.3f\n", disabled);
    return 0;
}
