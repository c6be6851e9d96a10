// The ring is drawn with QPainter's antialiased arcs into a small bitmap of the element's size,
// which the surface then composites like any picture.
#include "ui/controls/progress_ring.h"

#include "ui/elements/drawing_surface.h"

#include <QPainter>
#include <QPen>

#include <algorithm>

namespace ui {
namespace {

// The skin's light green, and a faint track for the part still to come.
const QColor kFill(0xa6, 0xec, 0x6a);
const QColor kTrack(255, 255, 255, 46);
constexpr qreal kStroke = 2.4;
// The turning segment's length, in degrees.
constexpr int kSegment = 90;
// QPainter's arcs are in sixteenths of a degree, counter-clockwise from three o'clock.
constexpr int kSixteenths = 16;
constexpr int kTop = 90 * kSixteenths;

} // namespace

void ProgressRing::SetProgress(std::int32_t value)
{
    const std::int32_t clamped = value < 0 ? kIndeterminate : std::min(value, kFull);
    ChangeProperty(m_progress, clamped, prop::kProgress, Invalidation::Visual);
}

void ProgressRing::SetSpinAngle(std::int32_t degrees)
{
    const std::int32_t normal = ((degrees % 360) + 360) % 360;
    ChangeProperty(m_spinAngle, normal, prop::kSpinAngle, Invalidation::Visual);
}

void ProgressRing::MeasureOverride(Size)
{
    SetDesiredSize({Width() != Unset ? Width() : 0, Height() != Unset ? Height() : 0});
}

void ProgressRing::RenderOverride(DrawingSurface& surface, Rect content)
{
    if (content.width <= 0 || content.height <= 0)
        return;
    QImage ring = surface.CreateCompatibleBitmap(content.width, content.height);
    if (ring.isNull())
        return;
    {
        QPainter painter(&ring);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal inset = kStroke / 2 + 0.5;
        const QRectF circle = QRectF(ring.rect()).adjusted(inset, inset, -inset, -inset);
        painter.setPen(QPen(kTrack, kStroke));
        painter.drawEllipse(circle);
        QPen fill(kFill, kStroke);
        fill.setCapStyle(Qt::RoundCap);
        painter.setPen(fill);
        if (m_progress == kIndeterminate) {
            painter.drawArc(circle, kTop - m_spinAngle * kSixteenths, -kSegment * kSixteenths);
        } else if (m_progress > 0) {
            // Clockwise from the top: a negative span.
            painter.drawArc(circle, kTop, -(m_progress * 360 * kSixteenths / kFull));
        }
    }
    surface.DrawImage(std::move(ring), content, {0, 0, content.width, content.height});
}

} // namespace ui
