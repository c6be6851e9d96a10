// The host with the program's own skin and a real button: a round window whose outside lets
// clicks through, and a button that lights up under the pointer.
#include "host_test_support.h"

#include "ui/controls/button_element.h"
#include "ui/controls/image_element.h"
#include "ui/controls/png_resource.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/opaque_region.h"

#include <gtest/gtest.h>

#include <QScreen>

namespace {

using namespace hosttest;

constexpr std::uint16_t kSkin = 132;
constexpr std::uint16_t kJobBase = 154; // the MP3 job button
constexpr std::uint16_t kJobHot = 155;
constexpr QPoint kButtonAt(355, 600);

// A pixel that is opaque in both pictures and differs between them.
QPoint DifferingOpaquePixel(const QImage& a, const QImage& b)
{
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (qAlpha(a.pixel(x, y)) == 255 && qAlpha(b.pixel(x, y)) == 255 &&
                a.pixel(x, y) != b.pixel(x, y))
                return {x, y};
    return {-1, -1};
}

TEST(HostSkin, RoundWindowWhoseButtonLightsUpUnderThePointer)
{
    const ui::SharedImage skin = ui::LoadPngResource(kSkin);
    const ui::SharedImage base = ui::LoadPngResource(kJobBase);
    const ui::SharedImage hot = ui::LoadPngResource(kJobHot);
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

    CountingHost<50> host;
    host.SetRoot(root);
    host.show();
    Settle(host);
    ASSERT_TRUE(testenv::WaitUntil([&] { return host.size() == QSize(781, 786); }, kWaitMs));
    Pump(100);

    // The shape is exactly the frame's pixels with alpha above 0: round, corners cut away.
    const auto frame = host.LatestFrame();
    ASSERT_TRUE(frame && !frame->isNull());
    EXPECT_EQ(host.mask(), OpaqueRegion(*frame));
    EXPECT_TRUE(host.mask().contains(QPoint(390, 393)));
    EXPECT_FALSE(host.mask().contains(QPoint(3, 3)));
    EXPECT_FALSE(host.mask().contains(QPoint(777, 782)));
    Screenshot(QStringLiteral("skin"));

    const QPoint probe = DifferingOpaquePixel(*base, *hot);
    ASSERT_NE(probe, QPoint(-1, -1));
    const QPoint onScreen = host.mapToGlobal(kButtonAt + probe);
    const QPoint centre =
        host.mapToGlobal(kButtonAt + QPoint(base->width() / 2, base->height() / 2));
    ASSERT_TRUE(MoveMouse(centre));
    ASSERT_TRUE(MoveMouse(centre + QPoint(1, 1)));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("skin_hover")).pixel(onScreen)).rgb() ==
                   QColor(hot->pixel(probe)).rgb();
        },
        kWaitMs));
    EXPECT_EQ(host.cursor().shape(), Qt::PointingHandCursor);
    // Out through a transparent corner of the skin: outside the shape is outside the window.
    ASSERT_TRUE(MoveMouse(host.mapToGlobal(QPoint(3, 3))));
    EXPECT_TRUE(testenv::WaitUntil(
        [&] {
            return QColor(Screenshot(QStringLiteral("skin_left")).pixel(onScreen)).rgb() ==
                   QColor(base->pixel(probe)).rgb();
        },
        kWaitMs));
    EXPECT_NE(host.cursor().shape(), Qt::PointingHandCursor);
}

} // namespace
