// What the fake window module needs from the fake message loop: paint requests and the
// cleanup of a destroyed window. Internal to the fake backend.
#pragma once

#include "platform/types.h"

namespace fake::internal {

// Marks the window as needing a WM_PAINT; several marks before it is delivered give one.
void RequestPaint(HWND window);
// Forgets the window's timers and its pending paint (the window is gone).
void ForgetWindow(HWND window);

// The fake X server's clock: the virtual clock plus a lead, so that no event has the
// server time 0 ("unknown").
constexpr DWORD kServerClockLeadMs = 1000;
DWORD ServerTime();

}  // namespace fake::internal
