// The host on a real X server, with a small tree of its own (a picture that counts its passes, a
// button that counts its presses): frames (coalescing, measure passes, idleness, size,
// position), click-through and teardown; and with the program's own skin and a real button: a
// round window and a button that lights up under the pointer.
#include "../test_tree.h"
#include "test_env.h"
#include "ui/controls/button_element.h"
#include "ui/controls/image_element.h"
#include "ui/controls/png_resource.h"
#include "ui/host/opaque_region.h"
#include "ui/host/skin_window.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <functional>

namespace {

using namespace uitest;

// The tree of the tests: a grid holding the skin and a canvas with one button.
struct TestTree {
    static constexpr int kSkinSize = 400;
    static constexpr QPoint kButtonAt{150, 300};
    static constexpr QSize kButtonSize{100, 50};
    static inline const QColor kSkinColour{30, 60, 120};

    std::shared_ptr<ui::GridPanel> root = std::make_shared<ui::GridPanel>();
    std::shared_ptr<Picture> skin =
        std::make_shared<Picture>(Disc(kSkinSize, kSkinSize, kSkinColour));
    std::shared_ptr<ui::CanvasPanel> canvas = std::make_shared<ui::CanvasPanel>();
    std::shared_ptr<Picture> button = std::make_shared<Picture>(
        Solid(kButtonSize.width(), kButtonSize.height(), QColor(200, 30, 30)));

    TestTree()
    {
        button->MakeInteractive();
        canvas->SetPosition(button.get(), kButtonAt.x(), kButtonAt.y());
        canvas->AddChild(button);
        root->AddChild(skin);
        root->AddChild(canvas);
    }
};

// Runs change under the tree lock, as the window's thread changes elements.
template <class F> void Locked(F&& change)
{
    ui::TreeLockGuard lock(ui::TreeLock());
    change();
}

// How long the tests wait for the display or the render thread.
constexpr int kWaitMs = 3000;

void Pump(int ms)
{
    testenv::WaitUntil([] { return false; }, ms);
}

// Waits until host has shown a frame and no further frame came for quietMs.
void Settle(ui::SkinWindow& host, int quietMs = 150)
{
    ASSERT_TRUE(testenv::WaitUntil([&] { return host.FramesRendered() > 0; }, kWaitMs))
        << "no first frame";
    std::uint64_t seen = host.FramesRendered();
    QElapsedTimer quiet;
    quiet.start();
    testenv::WaitUntil(
        [&] {
            if (host.FramesRendered() != seen) {
                seen = host.FramesRendered();
                quiet.restart();
            }
            return quiet.elapsed() >= quietMs;
        },
        5000);
}

// Runs xdotool with args on the test display; false when it failed.
bool Xdo(const QStringList& args)
{
    const testenv::ProcessResult r = testenv::Run(QStringLiteral("xdotool"), args, 10000);
    EXPECT_EQ(r.exitCode, 0) << "xdotool " << args.join(' ').toStdString() << ": "
                             << r.err.toStdString();
    return r.exitCode == 0;
}

bool MoveMouse(QPoint global)
{
    const bool ok = Xdo(
        {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())});
    Pump(60);
    return ok;
}

bool Click(QPoint global)
{
    return MoveMouse(global) && Xdo({QStringLiteral("click"), QStringLiteral("1")});
}

// The screen as it is now, and saved as an artifact (build/artifacts/host/<name>.png).
QImage Screenshot(const QString& name)
{
    Pump(50);
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QImage shot = screen->grabWindow(0).toImage();
    const QString dir = testenv::BinaryDir() + QStringLiteral("/artifacts/host");
    QDir().mkpath(dir);
    shot.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"));
    return shot;
}

using Host = ui::SkinWindow;

const QColor kBelowColour(250, 250, 250);

// A plain white window that records the presses that reach it.
class Below : public QWidget {
public:
    Below() : QWidget(nullptr, Qt::FramelessWindowHint)
    {
        setAutoFillBackground(true);
        setPalette(QPalette(kBelowColour));
    }
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

// A host showing the test tree, settled after its first frame.
struct Shown {
    TestTree tree;
    std::unique_ptr<Host> host = std::make_unique<Host>();

    Shown()
    {
        host->SetRoot(tree.root);
        host->show();
        Settle(*host);
        EXPECT_TRUE(testenv::WaitUntil([&] { return host->MaskUpdates() > 0 && host->isVisible(); },
                                       kWaitMs));
        Pump(100);
    }
    void Over(Below& below)
    {
        below.setGeometry(host->geometry());
        below.show();
        host->raise();
        host->activateWindow();
        Pump(200);
    }
    QPoint Global(QPoint local) const { return host->mapToGlobal(local); }
    // A background point of the skin: opaque, no button.
    static QPoint Background() { return {TestTree::kSkinSize / 2, 120}; }
};

// At two frames per second the pause after a frame lasts 500 ms: whatever is asked in it is
// served by one further frame. Only a relayout measures the tree, and only a frame that measured
// recomputes the input mask. The last row asks through the elements' own properties: a change
// of IsEnabled redraws, one of Width relayouts, both climbing from a leaf to the host.
TEST(HostFrames, AtMostOneFrameOneMeasurePassAndAMaskOnlyAfterMeasuring)
{
    TestTree tree;
    auto host = std::make_unique<ui::SkinWindow>(nullptr, 2);
    host->SetRoot(tree.root);
    host->show();
    const auto redraw = [&] { ui::SkinWindow::HostInvalidate(host.get(), u"IsEnabled", 1); };
    const auto relayout = [&] { ui::SkinWindow::HostInvalidate(host.get(), u"Width", 0); };
    const auto same = [&] {
        tree.button->SetIsEnabled(true);
        tree.skin->SetIsVisible(true);
        tree.skin->SetWidth(ui::Unset);
    };
    const auto both = [&] {
        redraw();
        relayout();
    };
    const struct {
        const char* name;
        std::function<void()> ask, thenInThePause; // under the tree lock
        int frames, measures, masks;
    } rows[] = {
        {"nothing leaves an idle window alone", [] {}, {}, 0, 0, 0},
        {"values set to what they are ask for nothing", same, {}, 0, 0, 0},
        {"redraw only", redraw, {}, 1, 0, 0},
        {"relayout only", relayout, {}, 1, 1, 1},
        {"redraw and relayout", both, {}, 1, 1, 1},
        {"a change, then a burst of changes in the pause after its frame",
         [&] { tree.button->SetIsEnabled(false); },
         [&] {
             for (int i = 0; i < 100; ++i) {
                 tree.button->SetIsEnabled(i % 2 == 0);
                 tree.skin->SetWidth(TestTree::kSkinSize - (i % 2));
             }
         },
         2, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Settle(*host, 700); // longer than the pause: a window that keeps rendering shows
        const auto frames = host->FramesRendered();
        const int measures = tree.skin->measures;
        const auto masks = host->MaskUpdates();
        Locked(row.ask);
        if (row.thenInThePause) {
            ASSERT_TRUE(
                testenv::WaitUntil([&] { return host->FramesRendered() == frames + 1; }, kWaitMs));
            Locked(row.thenInThePause);
        }
        Settle(*host, 700);
        EXPECT_EQ(host->FramesRendered(), frames + row.frames);
        EXPECT_EQ(tree.skin->measures, measures + row.measures);
        EXPECT_EQ(host->MaskUpdates(), masks + row.masks);
    }
}

TEST(HostFrames, FirstFrameIsCentredOnTheWorkAreaLaterFramesLeaveTheWindowWhereItWasPut)
{
    Shown s;
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const int side = TestTree::kSkinSize;
    EXPECT_EQ(s.host->geometry(), QRect(work.x() + (work.width() - side) / 2,
                                        work.y() + (work.height() - side) / 2, side, side));
    const QPoint moved = s.host->pos() + QPoint(-37, 21);
    s.host->move(moved);
    Pump(50);
    const auto frames = s.host->FramesRendered();
    Locked([&] { s.tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return s.host->FramesRendered() == frames + 1; }, kWaitMs));
    Pump(50);
    EXPECT_EQ(s.host->pos(), moved);
}

// A click on a transparent pixel reaches the window below. A root with a zero side gives an
// empty frame: nothing of the window shows or takes clicks, until a later frame has a size again.
TEST(HostPointer, TransparentPixelsAndAnEmptyFrameLetClicksThrough)
{
    Below below;
    Shown s;
    s.Over(below);
    Screenshot(QStringLiteral("over_window_below"));
    ASSERT_TRUE(Click(s.Global({6, 6}))); // a fully transparent corner of the skin's square
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 1; }, 2000));
    const QSize button = TestTree::kButtonSize;
    ASSERT_TRUE(Click(s.Global(TestTree::kButtonAt + QPoint(button.width(), button.height()) / 2)));
    EXPECT_TRUE(testenv::WaitUntil([&] { return s.tree.button->presses == 1; }, 2000));
    EXPECT_EQ(below.presses, 1);

    const QPoint centre = s.Global(Shown::Background());
    const auto shows = [&](const char* name, QColor colour) {
        return testenv::WaitUntil(
            [&] { return QColor(Screenshot(QLatin1String(name)).pixel(centre)) == colour; },
            kWaitMs);
    };
    Locked([&] {
        s.tree.skin->SetWidth(0);
        s.tree.canvas->SetIsVisible(false);
    });
    ASSERT_TRUE(testenv::WaitUntil(
        [&] {
            const auto frame = s.host->LatestFrame();
            return frame && frame->isNull() && !s.host->mask().contains(Shown::Background());
        },
        kWaitMs));
    EXPECT_EQ(s.host->size(), QSize(TestTree::kSkinSize, TestTree::kSkinSize));
    EXPECT_TRUE(shows("empty_frame", kBelowColour));
    ASSERT_TRUE(Click(centre));
    EXPECT_TRUE(testenv::WaitUntil([&] { return below.presses == 2; }, 2000));

    Locked([&] {
        s.tree.skin->SetWidth(ui::Unset);
        s.tree.canvas->SetIsVisible(true);
    });
    EXPECT_TRUE(
        testenv::WaitUntil([&] { return s.host->mask().contains(Shown::Background()); }, kWaitMs));
    EXPECT_TRUE(shows("after_empty_frame", TestTree::kSkinColour));
}

TEST(HostTeardown, APendingRequestOfAGoneRootRendersNothingDestroyingWaitsForAFrame)
{
    Shown s;
    // A request still pending when the root goes away wakes the thread, which finds no root.
    // (Set under the tree lock, as the window's thread may: the lock is re-entered.)
    const auto frames = s.host->FramesRendered();
    Locked([&] {
        TestTree pending;
        s.host->SetRoot(pending.root);
        s.host->SetRoot(nullptr);
    });
    Pump(300);
    EXPECT_EQ(s.host->FramesRendered(), frames);
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);

    s.host->SetRoot(s.tree.root);
    ASSERT_TRUE(
        testenv::WaitUntil([&] { return s.host->FramesRendered() == frames + 1; }, kWaitMs));
    s.tree.skin->renderDelayMs = 300;
    const int finished = s.tree.skin->renders;
    Locked([&] { s.tree.button->SetIsEnabled(false); });
    ASSERT_TRUE(testenv::WaitUntil([&] { return s.tree.skin->rendering.load(); }, kWaitMs));
    s.host.reset();
    EXPECT_FALSE(s.tree.skin->rendering);
    EXPECT_EQ(s.tree.skin->renders, finished + 1);
    // The tree outlives the host and no longer reaches it.
    EXPECT_EQ(s.tree.root->HostCallback(), nullptr);
    Locked([&] { s.tree.button->SetIsEnabled(true); });
    Pump(100);
}

TEST(HostSkin, RoundWindowWhoseButtonLightsUpUnderThePointer)
{
    constexpr QPoint kButtonAt(355, 600);
    const ui::SharedImage skin = ui::LoadPngResource(132);
    const ui::SharedImage base = ui::LoadPngResource(154); // the MP3 job button
    const ui::SharedImage hot = ui::LoadPngResource(155);
    ASSERT_TRUE(skin && base && hot);
    ASSERT_EQ(skin->size(), QSize(781, 786));
    auto root = std::make_shared<ui::GridPanel>();
    auto image = std::make_shared<ui::ImageElement>();
    image->SetImage(skin);
    auto canvas = std::make_shared<ui::CanvasPanel>();
    auto button = std::make_shared<ui::ButtonElement>();
    button->SetBaseImage(base);
    button->SetHotImage(hot);
    canvas->SetPosition(button.get(), kButtonAt.x(), kButtonAt.y());
    canvas->AddChild(button);
    root->AddChild(image);
    root->AddChild(canvas);
    Host host;
    host.SetRoot(root);
    host.show();
    Settle(host);
    ASSERT_TRUE(testenv::WaitUntil([&] { return host.size() == QSize(781, 786); }, kWaitMs));
    Pump(100);

    // The shape is exactly the frame's pixels with alpha above 0.
    const auto frame = host.LatestFrame();
    ASSERT_TRUE(frame && !frame->isNull());
    EXPECT_EQ(host.mask(), ui::OpaqueRegion(*frame));
    Screenshot(QStringLiteral("skin"));

    // A pixel that is opaque in both pictures and differs between them.
    const QPoint probe(base->width() / 3, base->height() / 2);
    ASSERT_EQ(qAlpha(base->pixel(probe)), 255);
    ASSERT_EQ(qAlpha(hot->pixel(probe)), 255);
    ASSERT_NE(base->pixel(probe), hot->pixel(probe));
    const QPoint onScreen = host.mapToGlobal(kButtonAt + probe);
    const auto shows = [&](const char* name, const ui::SharedImage& picture) {
        return testenv::WaitUntil(
            [&] {
                return QColor(Screenshot(QLatin1String(name)).pixel(onScreen)).rgb() ==
                       QColor(picture->pixel(probe)).rgb();
            },
            kWaitMs);
    };
    const QPoint centre = host.mapToGlobal(kButtonAt + QPoint(base->width(), base->height()) / 2);
    ASSERT_TRUE(MoveMouse(centre));
    ASSERT_TRUE(MoveMouse(centre + QPoint(1, 1)));
    EXPECT_TRUE(shows("skin_hover", hot));
    EXPECT_EQ(host.cursor().shape(), Qt::PointingHandCursor);
    // Out through a transparent corner of the skin: outside the shape is outside the window.
    ASSERT_TRUE(MoveMouse(host.mapToGlobal(QPoint(3, 3))));
    EXPECT_TRUE(shows("skin_left", base));
    EXPECT_NE(host.cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
