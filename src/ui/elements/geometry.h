// Value types of the element tree (pixels of the window's client area) and the 32-bit
// wrap-around arithmetic that measure and placement use.
#pragma once

#include <cstdint>

namespace ui {

// No explicit size, or an unbounded dimension of an available size.
inline constexpr std::int32_t Unset = 2147483647;

struct Size {
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// Carries width and height, not right and bottom edges.
struct Rect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

// Two's-complement wrap on overflow, computed in unsigned arithmetic: signed overflow is
// undefined behaviour, and the layout relies on Unset plus margins wrapping negative.
constexpr std::int32_t WrapAdd(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

constexpr std::int32_t WrapSub(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}

// Half of a (wrapped) difference, truncated toward zero like C++ division.
constexpr std::int32_t HalfTowardZero(std::int32_t v)
{
    return v / 2;
}

// Half of a value rounded toward minus infinity (an arithmetic shift), as pictures are centred.
constexpr std::int32_t HalfTowardMinusInfinity(std::int32_t v)
{
    return v >> 1;
}

// True when p lies inside r: left and top edges inside, right and bottom edges outside.
constexpr bool Contains(const Rect& r, const Point& p)
{
    const std::int64_t x = p.x, y = p.y;
    return x >= r.x && y >= r.y && x < std::int64_t{r.x} + r.width &&
           y < std::int64_t{r.y} + r.height;
}

} // namespace ui
