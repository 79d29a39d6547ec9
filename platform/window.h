// The board's one top-level window and the screen. Input arrives as messages at the
// window's procedure (platform/messageloop.h): WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP
// (lParam = MAKELPARAM(x, y) in client pixels), WM_PAINT when the window needs drawing
// (several requests before it is handled give one), and WM_CLOSE when the user or the
// window manager asks to close it (Alt+F4). The window is not destroyed until
// DestroyWindow.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>

namespace platform {

class Image;

int GetScreenWidth();
int GetScreenHeight();

// Creates the main window, not yet shown. 0 on failure (no display).
HWND CreateMainWindow(const std::wstring& title);
// A window of the board's kind, width x height, that is never shown: for drawing a page
// into its back buffer without taking the screen. 0 on failure (no display, bad size).
HWND CreateOffscreenWindow(const std::wstring& title, int width, int height);
void DestroyWindow(HWND window);

// Shows the window, raises it and gives it the focus.
void ShowWindow(HWND window);
// Makes the window cover the whole screen: the window manager's full-screen state where
// one runs, a plain full-size placement where none does. Returns when it is in place.
void ShowFullScreen(HWND window);
void MoveWindow(HWND window, int x, int y, int width, int height);
void SetWindowTitle(HWND window, const std::wstring& title);
std::wstring GetWindowTitle(HWND window);

// (0, 0, width, height) of the client area.
RECT GetClientRect(HWND window);
POINT ClientToScreen(HWND window, POINT clientPoint);

// Asks for a WM_PAINT.
void InvalidateWindow(HWND window);

// Copies the source rectangle of an ARGB32 pixel buffer into the destination rectangle of
// the window's client area, in one step, stretched without smoothing when the sizes differ.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int strideBytes = 0;
};
void PresentToWindow(HWND window, const PixelView& source, RECT sourceRect, RECT destClientRect);

// Makes image a width x height buffer of transparent black pixels that PresentToWindow
// sends to this window as it stands, without copying it first: the display server reads
// it from memory shared with the board, where the server offers that (an ordinary image
// otherwise). For the back buffer, which is drawn whole before it is presented. False when
// there is no memory for it.
bool CreatePresentableImage(HWND window, int width, int height, Image& image);

// The desktop's window background colour (used by Clear(-1)).
COLORREF GetSysColorWindow();

}  // namespace platform
