// Small helpers for pixel tests on in-memory images.
#pragma once

#include "platform/pixels.h"

#include <climits>

// Colours used by the tests.
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(0x5A, 0x5A, 0x5A);

inline platform::Image WhiteImage(int width, int height)
{
    platform::Image image;
    image.Create(width, height);
    image.Fill(platform::ArgbFromColor(kWhite));
    return image;
}

// The smallest rectangle holding every pixel that differs from the background colour;
// empty (all zero) when there is none.
inline RECT InkBounds(const platform::Image& image, COLORREF background)
{
    RECT r{ INT_MAX, INT_MAX, INT_MIN, INT_MIN };
    for (int y = 0; y < image.Height(); ++y)
        for (int x = 0; x < image.Width(); ++x)
            if (image.PixelColor(x, y) != background) {
                r.left = std::min(r.left, x);
                r.top = std::min(r.top, y);
                r.right = std::max(r.right, x + 1);
                r.bottom = std::max(r.bottom, y + 1);
            }
    if (r.left == INT_MAX)
        return RECT{};
    return r;
}
