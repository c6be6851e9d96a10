// Window-sized frames for a render loop that makes one at every change. Mapping and zeroing a
// fresh frame each pass costs more than drawing it, so the memory of a dropped frame is kept
// while frames flow and handed out again; Trim gives it back once they stop.
#pragma once

#include <QImage>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace ui {

class FramePool : public std::enable_shared_from_this<FramePool> {
public:
    // Through Create only: a frame returns its memory to the pool that made it, if that pool
    // is still there.
    static std::shared_ptr<FramePool> Create();

    // A frame as CreateFrameBitmap makes it (a null image for a size that cannot be had), but
    // holding what an earlier frame left: draw it through a DrawingSurface made with
    // Content::Stale, which clears it on the way. When its last owner drops it, on any thread,
    // its memory comes back here.
    std::shared_ptr<QImage> Take(std::int32_t width, std::int32_t height);

    // Gives the memory of every frame nobody holds back to the system.
    void Trim();
    // Whether there is anything for Trim to give back.
    bool HoldsSpares() const;

private:
    FramePool() = default;
    void Give(QImage&& frame);

    mutable std::mutex m_lock;
    // Frames nobody holds: one being shown and one being drawn is the steady state, so two
    // spares cover a resize without growing further.
    std::vector<QImage> m_spares;
};

} // namespace ui
