// The host's render thread and its window side. The render thread measures and renders the tree
// into a frame of its own per pass and publishes it; the GUI thread only copies finished frames.
#include "ui/host/skin_window.h"

#include "platform/post_to.h"
#include "platform/tick.h"
#include "ui/elements/drawing_surface.h"
#include "ui/elements/routing.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/opaque_region.h"
#include "ui/host/skin_accessible.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <chrono>

namespace ui {
namespace {

using namespace std::chrono_literals;

// Routed when the pointer leaves the window: outside every root, so the hot element is left.
constexpr QPoint kOutside(-1, -1);

// How long the render thread keeps spare frames after the last pass.
constexpr std::chrono::milliseconds kSpareFramesKeptFor = 1s;

// A mask that leaves nothing of the window: an empty region would lift the mask altogether.
const QRegion kNothing(-1, -1, 1, 1);

// The keyboard's ring, just outside the element: white dots on black, seen on any picture.
void DrawFocusRing(QImage& frame, const Rect& r)
{
    if (frame.isNull())
        return;
    constexpr int kGap = 2; // between the element and the ring's 2-pixel line
    const QRectF ring(r.x - kGap - 1, r.y - kGap - 1, r.width + 2 * kGap + 1,
                      r.height + 2 * kGap + 1);
    QPainter painter(&frame);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawRect(ring);
    painter.setPen(QPen(Qt::white, 2, Qt::DotLine));
    painter.drawRect(ring);
}

} // namespace

SkinWindow::SkinWindow(QWidget* parent, int frameRate)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_stop(platform::Event::Kind::AutoReset), m_redraw(platform::Event::Kind::AutoReset),
      m_relayout(platform::Event::Kind::AutoReset), m_frameRate(std::max(frameRate, 1))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    // Until the first frame arrives nothing of the window shows or takes clicks.
    setMask(kNothing);
    InstallSkinAccessibility();
    // The cursor follows the hot element; without one the window's default comes back.
    m_setCursor = [this](std::optional<Qt::CursorShape> shape) {
        if (shape)
            setCursor(*shape);
        else
            unsetCursor();
    };
    m_renderThread = std::jthread([this](std::stop_token stop) { RenderLoop(std::move(stop)); });
}

SkinWindow::~SkinWindow()
{
    // The tree may outlive the host (its owner keeps pointers to elements): it must not call
    // back into a destroyed host. The render thread, still running, finds no root from here on.
    SetRoot(nullptr);
}

void SkinWindow::SetRoot(std::shared_ptr<LayoutElement> root)
{
    TreeLockGuard tree(TreeLock());
    if (m_root) {
        m_root->SetHostContext(nullptr);
        m_root->SetHostCallback(nullptr);
    }
    m_root = std::move(root);
    if (m_root) {
        m_root->SetHostContext(this);
        m_root->SetHostCallback(&SkinWindow::HostInvalidate);
        m_relayout.Set();
    }
}

std::shared_ptr<LayoutElement> SkinWindow::Root() const
{
    TreeLockGuard tree(TreeLock());
    return m_root;
}

void SkinWindow::SetKeyboardFocus(std::vector<std::weak_ptr<LayoutElement>> place)
{
    std::shared_ptr<LayoutElement> focused;
    {
        TreeLockGuard tree(TreeLock());
        m_keyboardFocus = std::move(place);
        focused = FocusedElement();
    }
    m_redraw.Set();
    // Told outside the lock: a screen reader's bridge may ask other questions meanwhile.
    NotifyElementFocus(this, focused);
}

std::shared_ptr<LayoutElement> SkinWindow::FocusedElement() const
{
    TreeLockGuard tree(TreeLock());
    for (const std::weak_ptr<LayoutElement>& candidate : m_keyboardFocus) {
        std::shared_ptr<LayoutElement> e = candidate.lock();
        if (e && IsShownUnder(e.get(), m_root.get()))
            return e;
    }
    return nullptr;
}

bool SkinWindow::focusNextPrevChild(bool next)
{
    return m_tabHandler ? m_tabHandler(next) : QDialog::focusNextPrevChild(next);
}

void SkinWindow::HostInvalidate(void* context, PropertyName /*name*/, int visualOnly)
{
    auto* host = static_cast<SkinWindow*>(context);
    if (visualOnly & 0xFF)
        host->m_redraw.Set();
    else
        host->m_relayout.Set();
}

void SkinWindow::RenderLoop(std::stop_token stop)
{
    // The thread's owner asks it to stop (when the window goes) through the stop event, which
    // the loop waits on beside the requests.
    const std::stop_callback wake(stop, [this] { m_stop.Set(); });
    enum { kStop, kRedraw, kRelayout };
    for (;;) {
        // Spare frames are kept while frames flow and given back after a second without any.
        const auto woke =
            platform::WaitAny({platform::WaitItem::Of(m_stop), platform::WaitItem::Of(m_redraw),
                               platform::WaitItem::Of(m_relayout)},
                              m_framePool->HoldsSpares() ? kSpareFramesKeptFor : -1ms);
        if (!woke) {
            m_framePool->Trim();
            continue;
        }
        if (*woke == kStop)
            return;
        const std::uint32_t start = platform::TickCount();

        // A request that was pending when the root went away finds no root: nothing to show.
        if (!RenderFrame(*woke == kRelayout))
            continue;

        // The window puts the frame on the screen on its own thread; a call still queued when
        // it goes is dropped.
        platform::PostTo(this, [this] { UpdateLayeredFrame(); });

        // Unsigned difference: the tick's wrap after 49.7 days does no harm.
        const std::uint32_t elapsed = platform::TickCount() - start;
        const long long wait = 1000 / m_frameRate - static_cast<long long>(elapsed);
        // Requests that arrive meanwhile stay pending in their events and are served at once.
        if (wait > 0 && m_stop.Wait(std::chrono::milliseconds(wait)))
            return;
    }
}

bool SkinWindow::RenderFrame(bool wokeForRelayout)
{
    std::shared_ptr<QImage> frame;
    bool measured = false;
    bool resized = false;
    {
        TreeLockGuard tree(TreeLock());
        if (!m_root)
            return false;
        const int savedWidth = m_root->ActualWidth();
        const int savedHeight = m_root->ActualHeight();

        // A second relayout request within a millisecond of the first joins this pass.
        measured = wokeForRelayout;
        if (m_relayout.Wait(0ms)) {
            m_relayout.Wait(1ms);
            measured = true;
        }
        if (measured)
            m_root->Measure(Size{Unset, Unset});

        // A size that cannot be had (a zero side, or a broken layout asking for too much)
        // gives a null bitmap: the pass still places the tree, and an empty frame is published.
        const Size desired = m_root->DesiredSize();
        frame = m_framePool->Take(desired.width, desired.height);
        {
            DrawingSurface surface(*frame, DrawingSurface::Content::Stale);
            m_root->Render(surface, Rect{0, 0, desired.width, desired.height});
            surface.End();
        }
        if (const std::shared_ptr<LayoutElement> focused = FocusedElement())
            DrawFocusRing(*frame, focused->ActualRect());
        resized = m_root->ActualWidth() != savedWidth || m_root->ActualHeight() != savedHeight;
    }

    std::lock_guard lock(m_frameLock);
    m_latestFrame = std::move(frame);
    m_shapeMayHaveChanged = m_shapeMayHaveChanged || measured || resized;
    ++m_frames;
    if (measured)
        ++m_measures;
    return true;
}

std::shared_ptr<const QImage> SkinWindow::LatestFrame() const
{
    std::lock_guard lock(m_frameLock);
    return m_latestFrame;
}

std::uint64_t SkinWindow::FramesRendered() const
{
    std::lock_guard lock(m_frameLock);
    return m_frames;
}

std::uint64_t SkinWindow::MeasurePasses() const
{
    std::lock_guard lock(m_frameLock);
    return m_measures;
}

void SkinWindow::Present(QPainter& painter)
{
    const std::shared_ptr<const QImage> frame = LatestFrame();
    if (!frame || frame->isNull())
        return;
    // A frame smaller than the client area leaves the rest alone; a larger one is cut.
    const QRect client = rect();
    const QRect part = client.intersected(frame->rect());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(part.topLeft(), *frame, part);
}

void SkinWindow::UpdateLayeredFrame()
{
    std::shared_ptr<const QImage> frame;
    bool shapeMayHaveChanged = false;
    {
        std::lock_guard lock(m_frameLock);
        frame = m_latestFrame;
        shapeMayHaveChanged = m_shapeMayHaveChanged;
        m_shapeMayHaveChanged = false;
    }

    if (frame) {
        // An empty frame keeps the window's size and shows nothing.
        const QSize frameSize = frame->isNull() ? size() : frame->size();
        if (m_firstFrame) {
            m_firstFrame = false;
            PlaceFirstFrame(frameSize);
        } else if (size() != frameSize) {
            resize(frameSize);
        }

        if (shapeMayHaveChanged || m_maskSize != frameSize) {
            QRegion shape = OpaqueRegion(*frame);
            if (shape.isEmpty())
                shape = kNothing;
            // Most layout changes (a hot picture) keep the shape: the window system is only
            // told about a new one.
            if (shape != mask())
                setMask(shape);
            m_maskSize = frameSize;
            ++m_maskUpdates;
        }
        update();
    }

    QWidget* overlay = CurrentOverlay();
    if (overlay) {
        PlaceOverlay(overlay);
        overlay->update();
    }
}

void SkinWindow::PlaceFirstFrame(QSize size)
{
    // The client area is centred in the primary screen's available area, also when the window
    // is larger than it; the halves are truncated toward 0.
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect();
    const int x = work.x() + (work.width() - size.width()) / 2;
    const int y = work.y() + (work.height() - size.height()) / 2;
    setGeometry(x, y, size.width(), size.height());
}

void SkinWindow::PlaceOverlay(QWidget* overlay)
{
    if (!overlay)
        return;
    // The overlay's coordinates are the tree's, in which window elements place its controls.
    overlay->setGeometry(rect());
    QRegion shown;
    for (QObject* child : overlay->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        // Not hidden: the control's own visibility, also while the page itself is hidden.
        if (widget && !widget->isWindow() && !widget->isHidden())
            shown += widget->geometry();
    }
    if (shown.isEmpty())
        overlay->clearMask();
    else
        overlay->setMask(shown);
}

bool SkinWindow::event(QEvent* event)
{
    if (ProcessHostMessage(event))
        return true;
    return QDialog::event(event);
}

bool SkinWindow::ProcessHostMessage(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(this);
        Present(painter);
        return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton)
            return false;
        OnPress(mouse);
        return true;
    }
    case QEvent::MouseMove:
        OnMove(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_manualDrag = false;
        return true;
    case QEvent::Leave:
        RouteLeave();
        return false; // let QWidget keep its own hover bookkeeping
    default:
        return false;
    }
}

void SkinWindow::OnPress(QMouseEvent* event)
{
    const QPoint p = event->position().toPoint();
    // Over the background the pointer is routed as a move first, so a hot button is left
    // before the window starts moving.
    const HitArea hit = RouteHitTest(m_root, Point{p.x(), p.y()}, [this](Point at) {
        RouteMouseMove(m_root, at, m_hotId, m_setCursor);
    });
    if (hit != HitArea::Caption) {
        RouteMouseDown(m_root, Point{p.x(), p.y()});
        return;
    }
    // The background is the caption: the window system moves the window while the button is
    // held. Without a window manager it refuses, and the host follows the pointer itself.
    QWindow* handle = windowHandle();
    if (handle && handle->startSystemMove())
        return;
    m_manualDrag = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void SkinWindow::OnMove(QMouseEvent* event)
{
    if (m_manualDrag) {
        if (event->buttons() & Qt::LeftButton) {
            move(event->globalPosition().toPoint() - m_dragOffset);
            return;
        }
        m_manualDrag = false; // the release happened outside the window
    }
    const QPoint p = event->position().toPoint();
    RouteMouseMove(m_root, Point{p.x(), p.y()}, m_hotId, m_setCursor);
}

void SkinWindow::RouteLeave()
{
    if (m_manualDrag)
        return;
    RouteMouseMove(m_root, Point{kOutside.x(), kOutside.y()}, m_hotId, m_setCursor);
}

} // namespace ui
