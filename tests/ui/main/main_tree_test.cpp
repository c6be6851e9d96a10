// The whole main-window tree, built with the window's offsets and pictures, rendered into one
// frame: the skin must come out as a finished circular face with its controls in place. The
// frames are kept as build artifacts (build/artifacts/) for a person to look at. The player
// page is seen by the end-to-end tests.
#include "../test_frames.h"
#include "contrast.h"
#include "ui/elements/routing.h"
#include "ui/main/main_tree.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>

#include <cmath>

namespace ui {
namespace {

// The window's tree without native controls: the window elements only take their places.
struct MainWindowTree : MainTree {
    MainWindowTree() : MainTree(BuildMainTree(nullptr, {})) {}
    QImage Frame() { return uitest::RenderFrame(*root).convertToFormat(QImage::Format_ARGB32); }
};

void Keep(const QImage& frame, const char* name)
{
    const QString dir = QStringLiteral(VANDREL_BINARY_DIR "/artifacts");
    QDir().mkpath(dir);
    EXPECT_TRUE(frame.save(dir + QLatin1Char('/') + QLatin1String(name)));
}

bool IsWhite(QRgb p)
{
    return qAlpha(p) == 255 && qRed(p) > 235 && qGreen(p) > 235 && qBlue(p) > 235;
}

TEST(MainWindowComposite, DownloadPage)
{
    MainWindowTree tree;
    tree.downloadPanel->SetIsVisible(true);
    const QImage frame = tree.Frame();
    Keep(frame, "main_window_composite.png");

    // The skin alone gives the window its size.
    ASSERT_EQ(frame.size(), QSize(781, 786));

    // Outside the circle: nothing; on the frame ring and on the bare cone: solid and dark.
    for (const QPoint p : {QPoint(0, 0), QPoint(780, 0), QPoint(0, 785), QPoint(780, 785),
                           QPoint(60, 60), QPoint(720, 730)})
        EXPECT_EQ(qAlpha(frame.pixel(p.x(), p.y())), 0) << p.x() << "," << p.y();
    for (const QPoint p : {QPoint(390, 30), QPoint(30, 393), QPoint(390, 310), QPoint(160, 470)}) {
        const QRgb c = frame.pixel(p.x(), p.y());
        EXPECT_EQ(qAlpha(c), 255) << p.x() << "," << p.y();
        EXPECT_LT(qGray(c), 110) << p.x() << "," << p.y();
    }

    // The white fields and the idle status panel around the native controls.
    EXPECT_TRUE(IsWhite(frame.pixel(470, 339)));
    EXPECT_TRUE(IsWhite(frame.pixel(420, 372)));
    EXPECT_TRUE(IsWhite(frame.pixel(206, 470)));

    // The round job buttons in their colours, at their centres' left, clear of the lettering.
    const QRgb download = frame.pixel(238, 569), mp3 = frame.pixel(324, 610),
               avi = frame.pixel(411, 610), mp4 = frame.pixel(497, 570);
    EXPECT_GT(qGreen(download), qRed(download) + 40);
    EXPECT_GT(qBlue(mp3), qRed(mp3) + 60);
    EXPECT_GT(qRed(avi), qBlue(avi) + 80);
    EXPECT_GT(qGreen(avi), qBlue(avi) + 40);
    EXPECT_GT(qRed(mp4), qGreen(mp4) + 40);
    EXPECT_GT(qBlue(mp4), qGreen(mp4) + 60);
    // The checked play-after-download bar is green; the browse button grey.
    const QRgb checkbox = frame.pixel(480, 400), browse = frame.pixel(520, 362);
    EXPECT_GT(qGreen(checkbox), qRed(checkbox) + 40);
    EXPECT_LE(std::abs(qRed(browse) - qBlue(browse)), 30);
    // The minimise bar and the close cross are white on the dark pod beside them.
    EXPECT_TRUE(IsWhite(frame.pixel(607, 104)));
    EXPECT_TRUE(IsWhite(frame.pixel(676, 172)));
    EXPECT_LT(qGray(frame.pixel(640, 140)), 60);

    // The native controls get the field rectangles less 5 pixels on each side.
    EXPECT_EQ(tree.urlWindow->ContentRect(tree.urlWindow->ActualRect()), (Rect{339, 330, 258, 18}));
    EXPECT_EQ(tree.folderWindow->ContentRect(tree.folderWindow->ActualRect()),
              (Rect{339, 363, 170, 18}));
    EXPECT_EQ(tree.logWindow->ContentRect(tree.logWindow->ActualRect()), (Rect{209, 445, 376, 52}));
    EXPECT_EQ(tree.folderButton->ActualRect(), (Rect{514, 358, 88, 28}));

    // A button answers the hit test; the bare skin is caption to drag the window by.
    EXPECT_EQ(RouteHitTest(tree.root, {348, 610}), HitArea::Client);
    EXPECT_EQ(RouteHitTest(tree.root, {676, 172}), HitArea::Client);
    EXPECT_EQ(RouteHitTest(tree.root, {390, 310}), HitArea::Caption);
}

TEST(MainWindowComposite, BusyAndHot)
{
    // During a job (the end-to-end tests see the grey buttons and the stop square): the busy
    // status picture under the log, the ring a quarter full; the pointer over the minimise
    // button, which grows by its pixel.
    MainWindowTree tree;
    tree.downloadPanel->SetIsVisible(true);
    tree.Frame();
    for (const auto& b : {tree.downloadOnly, tree.mp3, tree.avi, tree.mp4})
        b->SetIsEnabled(false);
    tree.statusImage->SetImage(LoadPngResource(178));
    tree.close->SetIsVisible(false);
    tree.stop->SetIsVisible(true);
    tree.progressRing->SetIsVisible(true);
    tree.progressRing->SetProgress(250);
    std::uint32_t hot = kNoElementId;
    RouteMouseMove(tree.root, {607, 104}, hot);
    EXPECT_EQ(hot, tree.minimise->Id());
    const QImage frame = tree.Frame();
    Keep(frame, "main_window_busy_composite.png");

    // The log's white text is readable on the busy picture everywhere under the log box.
    const QRect logBox(209, 445, 376, 52);
    double lowest = 21.0;
    QPoint lowestAt;
    int seeThrough = 0;
    for (int y = logBox.top(); y <= logBox.bottom(); ++y) {
        for (int x = logBox.left(); x <= logBox.right(); ++x) {
            const QRgb p = frame.pixel(x, y);
            seeThrough += qAlpha(p) != 255;
            if (testenv::ContrastWithWhite(p) < lowest)
                lowest = testenv::ContrastWithWhite(p), lowestAt = QPoint(x, y);
        }
    }
    EXPECT_EQ(seeThrough, 0);
    EXPECT_GE(lowest, 4.5) << "at " << lowestAt.x() << "," << lowestAt.y();
    const QRgb status = frame.pixel(397, 471);
    EXPECT_GT(qBlue(status), qRed(status) + 60);
    EXPECT_EQ(RouteHitTest(tree.root, {676, 172}), HitArea::Client); // the stop square
    // A quarter of the ring, clockwise from the top: lit at one o'clock, dark at seven.
    const QRgb lit = frame.pixel(390 + 18, 237 - 18), unlit = frame.pixel(390 - 18, 237 + 18);
    EXPECT_GT(qGreen(lit), 180);
    EXPECT_GT(qGreen(lit), qBlue(lit) + 60);
    EXPECT_LT(qGreen(unlit), 180);
    EXPECT_EQ(tree.minimise->ActualRect(), (Rect{595, 101, 26, 8}));
    const QRgb minimise = frame.pixel(607, 104);
    EXPECT_GT(qGreen(minimise), qRed(minimise) + 40);
}

} // namespace
} // namespace ui
