// The brightening transform that makes a highlighted look from a picture that has none.
#pragma once

#include "ui/controls/png_resource.h"

#include <array>

// A 5 x 5 colour matrix in row-vector form: a colour (r, g, b, a, 1) with components from 0 to 1
// is multiplied from the left, so row 4 is the offset added to each output component.
using ColorMatrix = std::array<std::array<float, 5>, 5>;

// Each of red, green and blue becomes 1.05 times itself plus 0.05; alpha is kept.
inline constexpr ColorMatrix kBrightenMatrix = {{
    {1.05f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.05f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.05f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {0.05f, 0.05f, 0.05f, 0.0f, 1.0f},
}};

// A new picture of the source's size and format: every pixel's straight colour values through
// the matrix, each result clamped to the range and rounded. A null source gives a null result.
QImage ApplyColorMatrix(const QImage& source, const ColorMatrix& matrix);

// The source through kBrightenMatrix, as a new shared picture; an empty source gives an empty one.
SharedImage Brighten(const SharedImage& source);
