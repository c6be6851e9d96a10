// The layered window host: a frameless, per-pixel-transparent dialog whose whole face is an
// element tree, rendered on a render thread of its own and put on the screen frame by frame.
#pragma once

#include "platform/event.h"
#include "ui/elements/frame_pool.h"
#include "ui/elements/layout_element.h"
#include "ui/elements/routing.h"

#include <QDialog>
#include <QEvent>
#include <QImage>
#include <QPoint>
#include <QRegion>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QMouseEvent;
class QPainter;

namespace ui {

class SkinWindow : public QDialog {
public:
    // The program's window renders at most this many frames per second.
    static constexpr int kFrameRate = 50;

    // Starts the render thread, which waits for the first request; frameRate (positive) bounds
    // the frames per second. Throws std::system_error when an event cannot be made.
    explicit SkinWindow(QWidget* parent = nullptr, int frameRate = kFrameRate);
    // The render thread, the last member, is joined before any member it uses goes: a derived
    // window needs to stop nothing first.
    ~SkinWindow() override;

    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    // The page widget laid over the skin, or none. Re-placed after every frame; GUI thread.
    virtual QWidget* CurrentOverlay() { return nullptr; }

    // Replaces the tree (may be none); GUI thread. The old root no longer reaches this host.
    void SetRoot(std::shared_ptr<LayoutElement> root);
    // The tree; read it under the tree lock.
    std::shared_ptr<LayoutElement> Root() const;

    // The element the keyboard is on, which the frame rings: the first shown one of place
    // (elements that take turns in one spot, as the close and the stop button do); an empty
    // place: none. The window itself then holds Qt's focus. GUI thread.
    void SetKeyboardFocus(std::vector<std::weak_ptr<LayoutElement>> place);
    // The shown element of that place, or null. Tree lock held.
    std::shared_ptr<LayoutElement> FocusedElement() const;
    // Tab and Shift+Tab (next false) anywhere in the window go to handler, which answers
    // whether the focus moved; without one Qt's own order applies.
    void SetTabHandler(std::function<bool(bool next)> handler)
    {
        m_tabHandler = std::move(handler);
    }
    // The root's host callback: signals the redraw event when visualOnly's low byte is set,
    // otherwise the relayout event. Runs with the tree lock held and only signals.
    static void HostInvalidate(void* context, PropertyName name, int visualOnly);

    // Draws the latest frame at the client rectangle of painter's device (Source composition:
    // the frame's alpha replaces whatever was there).
    void Present(QPainter& painter);
    // Puts the latest frame on the screen: size, first-frame centring, input mask, repaint, and
    // the overlay re-placed on top.
    void UpdateLayeredFrame();
    // Lays overlay (a child widget of this host) over the client area and masks it to the union
    // of its visible child widgets, so nothing of it shows or takes clicks outside its controls.
    void PlaceOverlay(QWidget* overlay);

    // The host's part of event handling (paint, pointer); true when handled.
    bool ProcessHostMessage(QEvent* event);

    // The latest frame (shared, never changed after publication); for tests and screenshots.
    std::shared_ptr<const QImage> LatestFrame() const;
    // Frames published since construction.
    std::uint64_t FramesRendered() const;
    // Measure passes run since construction.
    std::uint64_t MeasurePasses() const;
    // How often the input mask was recomputed.
    std::uint64_t MaskUpdates() const { return m_maskUpdates; }

protected:
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    void RenderLoop(std::stop_token stop);
    // One measure-and-render pass under the tree lock; false when there was no root.
    bool RenderFrame(bool wokeForRelayout);
    void PlaceFirstFrame(QSize size);
    void OnPress(QMouseEvent* event);
    void OnMove(QMouseEvent* event);
    void RouteLeave();

    // Changed only by SetRoot on the GUI thread, under the tree lock; other threads read it
    // under that lock.
    std::shared_ptr<LayoutElement> m_root;
    std::vector<std::weak_ptr<LayoutElement>> m_keyboardFocus; // under the tree lock too

    platform::Event m_stop;
    platform::Event m_redraw;
    platform::Event m_relayout;
    // Where the render thread's frames come from and go back to when dropped.
    const std::shared_ptr<FramePool> m_framePool = FramePool::Create();

    // The frame lock guards only the fields below it; never held with the tree lock.
    mutable std::mutex m_frameLock;
    std::shared_ptr<const QImage> m_latestFrame;
    bool m_shapeMayHaveChanged = true; // since the last mask was computed
    std::uint64_t m_frames = 0;
    std::uint64_t m_measures = 0;

    // GUI thread only.
    std::uint32_t m_hotId = kNoElementId;
    CursorSetter m_setCursor;
    bool m_firstFrame = true;
    QSize m_maskSize;
    std::uint64_t m_maskUpdates = 0;
    bool m_manualDrag = false;
    QPoint m_dragOffset; // pointer's global position minus the window's position
    std::function<bool(bool next)> m_tabHandler;

    const int m_frameRate;

    // Last: started when everything else exists, and joined before any of it goes.
    std::jthread m_renderThread;
};

} // namespace ui
