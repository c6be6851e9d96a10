// The host's render thread and its window side. The render thread measures and renders the tree
// into a fresh frame per pass and publishes it; the GUI thread only copies finished frames.
#include "ui/host/visual_dlg.h"

#include "platform/tick.h"
#include "ui/elements/drawing_surface.h"
#include "ui/elements/routing.h"
#include "ui/elements/tree_lock.h"
#include "ui/host/opaque_region.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include <chrono>

namespace ui {
namespace {

using namespace std::chrono_literals;

// Routed when the pointer leaves the window: outside every root, so the hot element is left.
constexpr QPoint kOutside(-1, -1);

// A mask that leaves nothing of the window: an empty region would lift the mask altogether.
const QRegion kNothing(-1, -1, 1, 1);

} // namespace

VisualDlgImpl::VisualDlgImpl(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint),
      m_stop(platform::Event::Kind::AutoReset), m_redraw(platform::Event::Kind::AutoReset),
      m_relayout(platform::Event::Kind::AutoReset)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    // Until the first frame arrives nothing of the window shows or takes clicks.
    setMask(kNothing);
    // The cursor follows the hot element; without one the window's default comes back.
    m_setCursor = [this](std::optional<Qt::CursorShape> shape) {
        if (shape)
            GetHostWindow()->setCursor(*shape);
        else
            GetHostWindow()->unsetCursor();
    };
    // The thread only waits until a request comes, so it never calls a virtual operation before
    // the derived object is complete: requests come from SetRoot, which needs a complete object.
    m_renderThread = std::thread([this] { RenderLoop(); });
}

VisualDlgImpl::~VisualDlgImpl()
{
    StopRenderThread();
    // The tree may outlive the host (its owner keeps pointers to elements): it must not call
    // back into a destroyed host.
    SetRoot(nullptr);
}

void VisualDlgImpl::StopRenderThread()
{
    if (!m_renderThread.joinable())
        return;
    m_stop.Set();
    m_renderThread.join();
}

void VisualDlgImpl::SetRoot(std::shared_ptr<LayoutElement> root)
{
    TreeLockGuard tree(TreeLock());
    if (m_root) {
        m_root->SetHostContext(nullptr);
        m_root->SetHostCallback(nullptr);
    }
    m_root = std::move(root);
    if (m_root) {
        m_root->SetHostContext(this);
        m_root->SetHostCallback(&VisualDlgImpl::HostInvalidate);
        m_relayout.Set();
    }
}

void VisualDlgImpl::HostInvalidate(void* context, PropertyName /*name*/, int visualOnly)
{
    auto* host = static_cast<VisualDlgImpl*>(context);
    if (visualOnly & 0xFF)
        host->m_redraw.Set();
    else
        host->m_relayout.Set();
}

void VisualDlgImpl::RenderLoop()
{
    enum { kStop, kRedraw, kRelayout };
    for (;;) {
        const auto woke =
            platform::WaitAny({platform::WaitItem::Of(m_stop), platform::WaitItem::Of(m_redraw),
                               platform::WaitItem::Of(m_relayout)},
                              -1ms);
        if (!woke || *woke == kStop)
            return;
        const std::uint32_t start = platform::TickCount();

        bool resized = false;
        // A request that was pending when the root went away finds no root: nothing to show.
        if (!RenderFrame(*woke == kRelayout, resized))
            continue;

        if (resized)
            OnFrameResized();
        else
            OnFrameReady();

        const int rate = GetFrameRate();
        if (rate <= 0)
            continue;
        // Unsigned difference: the tick's wrap after 49.7 days does no harm.
        const std::uint32_t elapsed = platform::TickCount() - start;
        const long long wait = 1000 / rate - static_cast<long long>(elapsed);
        // Requests that arrive meanwhile stay pending in their events and are served at once.
        if (wait > 0 && m_stop.Wait(std::chrono::milliseconds(wait)))
            return;
    }
}

bool VisualDlgImpl::RenderFrame(bool wokeForRelayout, bool& resized)
{
    auto frame = std::make_shared<QImage>();
    bool measured = false;
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
        *frame = CreateFrameBitmap(desired.width, desired.height);
        {
            DrawingSurface surface(*frame);
            m_root->Render(surface, Rect{0, 0, desired.width, desired.height});
            surface.End();
        }
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

void VisualDlgImpl::PostFrameReady()
{
    QCoreApplication::postEvent(this, new QEvent(WM_FRAME_READY));
}

std::shared_ptr<const QImage> VisualDlgImpl::LatestFrame() const
{
    std::lock_guard lock(m_frameLock);
    return m_latestFrame;
}

std::uint64_t VisualDlgImpl::FramesRendered() const
{
    std::lock_guard lock(m_frameLock);
    return m_frames;
}

std::uint64_t VisualDlgImpl::MeasurePasses() const
{
    std::lock_guard lock(m_frameLock);
    return m_measures;
}

void VisualDlgImpl::Present(QPainter& painter)
{
    const std::shared_ptr<const QImage> frame = LatestFrame();
    if (!frame || frame->isNull())
        return;
    // A frame smaller than the client area leaves the rest alone; a larger one is cut.
    const QRect client = GetHostWindow()->rect();
    const QRect part = client.intersected(frame->rect());
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(part.topLeft(), *frame, part);
}

void VisualDlgImpl::UpdateLayeredFrame()
{
    QWidget* window = GetHostWindow();
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
        const QSize size = frame->isNull() ? window->size() : frame->size();
        if (m_firstFrame) {
            m_firstFrame = false;
            PlaceFirstFrame(size);
        } else if (window->size() != size) {
            window->resize(size);
        }

        if (shapeMayHaveChanged || m_maskSize != size) {
            QRegion shape = OpaqueRegion(*frame);
            if (shape.isEmpty())
                shape = kNothing;
            // Most layout changes (a hot picture) keep the shape: the window system is only
            // told about a new one.
            if (shape != window->mask())
                window->setMask(shape);
            m_maskSize = size;
            ++m_maskUpdates;
        }
        window->update();
    }

    QWidget* overlay = CurrentOverlay();
    if (overlay) {
        PlaceOverlay(overlay);
        overlay->update();
    }
}

void VisualDlgImpl::PlaceFirstFrame(QSize size)
{
    QWidget* window = GetHostWindow();
    // The client area is centred in the primary screen's available area, also when the window
    // is larger than it; the halves are truncated toward 0.
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect work = screen ? screen->availableGeometry() : QRect();
    const int x = work.x() + (work.width() - size.width()) / 2;
    const int y = work.y() + (work.height() - size.height()) / 2;
    window->setGeometry(x, y, size.width(), size.height());
}

void VisualDlgImpl::PlaceOverlay(QWidget* overlay)
{
    QWidget* window = GetHostWindow();
    if (!overlay)
        return;
    // The overlay's coordinates are the tree's, in which window elements place its controls.
    overlay->setGeometry(window->rect());
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

bool VisualDlgImpl::event(QEvent* event)
{
    if (ProcessHostMessage(event))
        return true;
    return QDialog::event(event);
}

bool VisualDlgImpl::ProcessHostMessage(QEvent* event)
{
    if (event->type() == WM_FRAME_READY) {
        UpdateLayeredFrame();
        return true;
    }
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(GetHostWindow());
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

void VisualDlgImpl::OnPress(QMouseEvent* event)
{
    QWidget* window = GetHostWindow();
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
    QWindow* handle = window->windowHandle();
    if (handle && handle->startSystemMove())
        return;
    m_manualDrag = true;
    m_dragOffset = event->globalPosition().toPoint() - window->pos();
}

void VisualDlgImpl::OnMove(QMouseEvent* event)
{
    QWidget* window = GetHostWindow();
    if (m_manualDrag) {
        if (event->buttons() & Qt::LeftButton) {
            window->move(event->globalPosition().toPoint() - m_dragOffset);
            return;
        }
        m_manualDrag = false; // the release happened outside the window
    }
    const QPoint p = event->position().toPoint();
    RouteMouseMove(m_root, Point{p.x(), p.y()}, m_hotId, m_setCursor);
}

void VisualDlgImpl::RouteLeave()
{
    if (m_manualDrag)
        return;
    RouteMouseMove(m_root, Point{kOutside.x(), kOutside.y()}, m_hotId, m_setCursor);
}

} // namespace ui
