// Brightening, by the same straight-value pixel loop that greys disabled elements.
#include "ui/controls/brighten.h"

namespace ui {

SharedImage Brighten(const SharedImage& source)
{
    if (!source || source->isNull())
        return {};
    QImage out = *source; // shared until the pixel loop writes, then a copy of its own
    ApplyColorMatrix(out, kBrightenMatrix);
    if (out.format() != source->format())
        out.convertTo(source->format());
    return std::make_shared<const QImage>(std::move(out));
}

} // namespace ui
