// A small tree of its own for the host's tests (a picture that counts its passes, a button that
// counts its presses), a host that counts its frames, and helpers that drive
// the real Xvfb display: settling after frames, xdotool, screenshots.
#pragma once

#include "test_env.h"
#include "ui/elements/drawing_surface.h"
#include "ui/elements/layout_element.h"
#include "ui/elements/panel.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/visual_dlg.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

namespace hosttest {

// A picture of its own size (or Width x Height when set). Counts its measure passes and can be
// made to take its time rendering.
class TestPicture : public ui::LayoutElement {
public:
    explicit TestPicture(QImage picture);

    // Reports "Image" with a layout invalidation, like the program's pictures.
    void SetPicture(QImage picture);
    const QImage& Picture() const { return *m_picture; }

    std::atomic<int> measures{0};
    std::atomic<int> renderDelayMs{0};
    std::atomic<bool> rendering{false};
    std::atomic<int> rendersFinished{0};

protected:
    void MeasureOverride(ui::Size available) override;
    void RenderOverride(ui::DrawingSurface& surface, ui::Rect content) override;

private:
    std::shared_ptr<const QImage> m_picture;
};

// Interactive: counts the presses that reach it.
class TestButton : public TestPicture {
public:
    explicit TestButton(QImage picture);

    std::atomic<int> presses{0};

protected:
    void OnMouseDown(ui::Point p) override;
};

// A disc with a soft edge on a transparent ground, like the skin.
QImage Disc(int width, int height, QColor color);
QImage Solid(int width, int height, QColor color);

// The tree of the tests: a grid holding the skin and a canvas with one button.
struct TestTree {
    std::shared_ptr<ui::GridPanel> root;
    std::shared_ptr<TestPicture> skin;
    std::shared_ptr<ui::CanvasPanel> canvas;
    std::shared_ptr<TestButton> button;
    static constexpr int kSkinSize = 400;
    static constexpr QPoint kButtonAt{150, 300};
    static constexpr int kButtonWidth = 100;
    static constexpr int kButtonHeight = 50;
    static inline const QColor kSkinColour{30, 60, 120};
    static inline const QColor kBaseColour{200, 30, 30};
};
TestTree MakeTree();

// A host that counts the frames it is told about and posts WM_FRAME_READY for each.
template <int N> class CountingHost : public ui::VisualDlg<CountingHost<N>, N> {
public:
    ~CountingHost() override { this->StopRenderThread(); }
    void OnFrameReady() override
    {
        ++ready;
        this->PostFrameReady();
    }
    void OnFrameResized() override
    {
        ++resized;
        this->PostFrameReady();
    }

    std::atomic<int> ready{0};
    std::atomic<int> resized{0};
};

// Runs change under the tree lock, as the window's thread changes elements.
template <class F> void Locked(F&& change)
{
    ui::TreeLockGuard lock(ui::TreeLock());
    change();
}

// How long the tests wait for the display or the render thread (testenv::WaitUntil).
constexpr int kWaitMs = 3000;
// Runs the event loop for ms milliseconds.
void Pump(int ms);
// Waits until host has shown a frame and no further frame came for quietMs.
void Settle(ui::VisualDlgImpl& host, int quietMs = 150);

// Runs xdotool with args on the test display; false when it failed.
bool Xdo(const QStringList& args);
bool MoveMouse(QPoint global);
// The screen as it is now, and saved as an artifact (build/artifacts/host/<name>.png).
QImage Screenshot(const QString& name);

} // namespace hosttest
