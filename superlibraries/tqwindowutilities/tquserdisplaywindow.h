// The user area: a borderless child window of the board's view, at its top left, as wide
// as the view and as high as the part above the answer bar. It shows one other window at
// a time (a started program's window, a film's window) and draws nothing of its own but a
// plain background around it.
#pragma once

#include "platform/types.h"

#include <string>

class CTQUserDisplayWindow {
public:
    static constexpr int ControlId = 1234;

    // Creates the hidden window over (0, 0, width, height) of the parent's client area. The
    // part that the shown window leaves free has the Background colour.
    CTQUserDisplayWindow(HWND Parent, int Width, int Height, COLORREF Background);
    ~CTQUserDisplayWindow();
    CTQUserDisplayWindow(const CTQUserDisplayWindow&) = delete;
    CTQUserDisplayWindow& operator=(const CTQUserDisplayWindow&) = delete;

    // Strips Window's frame and shows it in the user area. Mode "Film": the window keeps
    // its place in the window tree and is fitted over the user area, keeping its aspect.
    // Otherwise it is adopted as a child; "" picks "Maximized" (it fills the user area)
    // when the window is maximised, else "Normal" (centred at its own size). Always true.
    bool ShowInUserArea(HWND Window, std::wstring Mode);
    // Hides the user area and what it shows (the adopted window stays its child).
    bool HideUserArea();

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Where a film of FilmSize goes over a user area at WindowRect (screen pixels): the
    // largest size with the film's aspect that fits, centred.
    static RECT FitFilm(RECT WindowRect, SIZE FilmSize);

private:
    HWND m_hWnd = 0;
};
