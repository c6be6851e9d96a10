// The contrast ratio of white text on a colour (1 to 21), by the relative luminance of WCAG 2
// (sRGB): what the tests hold the busy picture under the log box to.
#pragma once

#include <QRgb>

#include <cmath>

namespace testenv {

inline double ContrastWithWhite(QRgb c)
{
    const auto linear = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    const double luminance =
        0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
    return 1.05 / (luminance + 0.05);
}

} // namespace testenv
