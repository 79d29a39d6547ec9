// Test control of the fake desktop's screen and window: an in-memory screen that tests
// read back, and a window whose place and size the test can set.
#pragma once

#include "platform/types.h"

#include <cstdint>
#include <string>

namespace fake {

// Screen size (default 1024 x 768) and the pixels presented to it; the window's client
// area covers the screen from (0, 0) unless the test places it elsewhere.
void ResetWindow(int screenWidth = 1024, int screenHeight = 768);
void SetClientPlacement(HWND window, RECT clientInScreen);
// The screen's pixel at (x, y) as 0x00RRGGBB.
std::uint32_t ScreenPixel(int x, int y);
int PresentCount();

}  // namespace fake
