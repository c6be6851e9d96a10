// The pool behind the render loop's frames: spares reused by size, returned by the frame's
// deleter under the pool's lock so the next pass sees the last reader's work finished.
#include "ui/elements/frame_pool.h"

#include "ui/elements/drawing_surface.h"

#include <algorithm>

namespace ui {

namespace {

constexpr std::size_t kMaxSpares = 2;

} // namespace

std::shared_ptr<FramePool> FramePool::Create()
{
    return std::shared_ptr<FramePool>(new FramePool());
}

std::shared_ptr<QImage> FramePool::Take(std::int32_t width, std::int32_t height)
{
    QImage frame;
    {
        std::lock_guard lock(m_lock);
        const auto found = std::find_if(m_spares.begin(), m_spares.end(), [&](const QImage& s) {
            return s.width() == width && s.height() == height;
        });
        if (found != m_spares.end()) {
            frame = std::move(*found);
            m_spares.erase(found);
        }
    }
    if (frame.isNull())
        frame = CreateFrameBitmap(width, height);
    return std::shared_ptr<QImage>(new QImage(std::move(frame)),
                                   [pool = weak_from_this()](QImage* dropped) {
                                       const std::unique_ptr<QImage> owned(dropped);
                                       if (const auto self = pool.lock())
                                           self->Give(std::move(*owned));
                                   });
}

void FramePool::Give(QImage&& frame)
{
    // A copy that still shares the pixels (detached by nobody) would be drawn over while read.
    if (frame.isNull() || !frame.isDetached())
        return;
    QImage oldest;
    std::lock_guard lock(m_lock);
    if (m_spares.size() >= kMaxSpares) {
        oldest = std::move(m_spares.front());
        m_spares.erase(m_spares.begin());
    }
    m_spares.push_back(std::move(frame));
}

void FramePool::Trim()
{
    std::vector<QImage> dropped;
    std::lock_guard lock(m_lock);
    dropped.swap(m_spares);
}

bool FramePool::HoldsSpares() const
{
    std::lock_guard lock(m_lock);
    return !m_spares.empty();
}

} // namespace ui
