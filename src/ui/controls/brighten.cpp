// Colour matrices applied by a plain pixel loop on straight ARGB values.
#include "ui/controls/brighten.h"

#include <algorithm>
#include <cmath>

namespace {

int ToByte(float value)
{
    return static_cast<int>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

} // namespace

QImage ApplyColorMatrix(const QImage& source, const ColorMatrix& m)
{
    if (source.isNull())
        return {};
    // The matrix is defined on straight colour values: a premultiplied source is read back to
    // straight ARGB first, and the result is handed back in the source's own format.
    const QImage in = source.format() == QImage::Format_ARGB32
                          ? source
                          : source.convertToFormat(QImage::Format_ARGB32);
    QImage out(in.size(), QImage::Format_ARGB32);
    for (int y = 0; y < in.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(in.constScanLine(y));
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < in.width(); ++x) {
            const float c[4] = {qRed(src[x]) / 255.0f, qGreen(src[x]) / 255.0f,
                                qBlue(src[x]) / 255.0f, qAlpha(src[x]) / 255.0f};
            int result[4];
            for (int j = 0; j < 4; ++j) {
                float sum = m[4][j];
                for (int i = 0; i < 4; ++i)
                    sum += c[i] * m[i][j];
                result[j] = ToByte(sum);
            }
            dst[x] = qRgba(result[0], result[1], result[2], result[3]);
        }
    }
    out.setDotsPerMeterX(source.dotsPerMeterX());
    out.setDotsPerMeterY(source.dotsPerMeterY());
    return source.format() == QImage::Format_ARGB32 ? out : out.convertToFormat(source.format());
}

SharedImage Brighten(const SharedImage& source)
{
    if (!source || source->isNull())
        return {};
    return std::make_shared<const QImage>(ApplyColorMatrix(*source, kBrightenMatrix));
}
