// Plain value types shared by the whole program: colours, points, sizes, rectangles,
// window handles and the window-message numbers the board uses.
#pragma once

#include <cstdint>

// A colour with red in the lowest byte, then green, then blue; the top byte is 0.
using COLORREF = std::uint32_t;

constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c)
{
    return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c)
{
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c)
{
    return static_cast<int>((c >> 16) & 0xFF);
}

struct POINT {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const POINT&, const POINT&) = default;
};

struct SIZE {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    friend bool operator==(const SIZE&, const SIZE&) = default;
};

// Right and bottom edges lie outside the rectangle.
struct RECT {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const RECT&, const RECT&) = default;
};

// An opaque window handle of the platform layer (the X window id on X11); 0 is none.
using HWND = std::uintptr_t;
using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using DWORD = std::uint32_t;

// Window messages delivered by the message loop (same numbers as the Windows ones).
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_USER = 0x0400;

// Mouse messages carry the client point in lParam: x in the low 16 bits, y in the next 16,
// both signed.
constexpr LPARAM MAKELPARAM(int x, int y)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>((x & 0xFFFF) | ((y & 0xFFFF) << 16)));
}
constexpr int GET_X_LPARAM(LPARAM l)
{
    return static_cast<std::int16_t>(l & 0xFFFF);
}
constexpr int GET_Y_LPARAM(LPARAM l)
{
    return static_cast<std::int16_t>((l >> 16) & 0xFFFF);
}
