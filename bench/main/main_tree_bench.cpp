// A frame of the main window's real tree (the skin's pictures, the download page) with and
// without the progress ring showing, in the same run: what a frame costs during a download.
#include "ui/elements/drawing_surface.h"
#include "ui/elements/frame_pool.h"
#include "ui/elements/tree_lock.h"
#include "ui/main/main_tree.h"

#include <QGuiApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace ui;

namespace {

// Frames made the way the render thread makes them: from a pool, drawn over what they held,
// the one shown before going back.
double MedianFrameMs(const MainTree& tree, int runs)
{
    const std::shared_ptr<FramePool> pool = FramePool::Create();
    std::shared_ptr<QImage> shown;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        tree.root->Measure({Unset, Unset});
        const Size s = tree.root->DesiredSize();
        std::shared_ptr<QImage> frame = pool->Take(s.width, s.height);
        {
            DrawingSurface surface(*frame, DrawingSurface::Content::Stale);
            tree.root->Render(surface, {0, 0, s.width, s.height});
        }
        shown = std::move(frame);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    constexpr int kRuns = 201;
    const MainTree tree = BuildMainTree({});
    TreeLockGuard lock(TreeLock());
    tree.downloadPanel->SetIsVisible(true);
    const double plain = MedianFrameMs(tree, kRuns);
    tree.progressRing->SetIsVisible(true);
    tree.progressRing->SetProgress(420);
    const double ring = MedianFrameMs(tree, kRuns);
    tree.progressRing->SetProgress(ProgressRing::kIndeterminate);
    const double spinning = MedianFrameMs(tree, kRuns);

    std::printf("render.frame_ms_with_progress: %.3f\n", ring);
    std::printf("render.frame_ms_converting: %.3f\n", spinning);
    std::printf("render.progress_ratio_to_plain: %.2f\n", ring / plain);
    return 0;
}
