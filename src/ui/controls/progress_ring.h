// ProgressRing: a thin ring that fills clockwise from the top as a download goes, or shows a
// turning segment while the amount of work is not known (a conversion).
#pragma once

#include "ui/elements/layout_element.h"

namespace ui {

namespace prop {
inline constexpr PropertyName kProgress = u"Progress";
inline constexpr PropertyName kSpinAngle = u"SpinAngle";
} // namespace prop

class ProgressRing : public LayoutElement {
public:
    // Progress in thousandths; kIndeterminate shows the turning segment instead.
    static constexpr std::int32_t kIndeterminate = -1;
    static constexpr std::int32_t kFull = 1000;

    std::int32_t Progress() const { return m_progress; }
    // Clamped to kIndeterminate or 0..kFull. Full change protocol with InvalidateVisual: an
    // unchanged value asks for no frame.
    void SetProgress(std::int32_t value);
    // Where the turning segment starts, in degrees clockwise from the top (taken modulo 360).
    std::int32_t SpinAngle() const { return m_spinAngle; }
    void SetSpinAngle(std::int32_t degrees);

protected:
    // Width and Height; 0 where they are not set.
    void MeasureOverride(Size available) override;
    void RenderOverride(DrawingSurface& surface, Rect content) override;

private:
    std::int32_t m_progress = 0;
    std::int32_t m_spinAngle = 0;
};

} // namespace ui
