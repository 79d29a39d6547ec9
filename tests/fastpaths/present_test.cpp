// Presenting to the (fake) window: every screen pixel must be the one the nearest-neighbour
// rule picks, pixel by pixel, whether whole rows are copied or columns are looked up.
#include "platform/fake/fake_window.h"
#include "platform/pixels.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr int kScreenWidth = 64;
constexpr int kScreenHeight = 48;
constexpr std::uint32_t kUntouched = 0x00123456u;

// Every pixel different, alpha set (the window must not get it).
platform::Image Numbered(int width, int height)
{
    platform::Image image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Pixels()[y * width + x] = 0xFF000000u | std::uint32_t(x << 8 | y);
    return image;
}

// The screen a present must leave, worked out pixel by pixel from the sampling rule:
// destination offset d takes source offset (2d + 1) * source / (2 * destination).
std::vector<std::uint32_t> Expected(const platform::Image& source, RECT from, RECT to, RECT client)
{
    std::vector<std::uint32_t> screen(kScreenWidth * kScreenHeight, kUntouched);
    const int sw = from.right - from.left;
    const int sh = from.bottom - from.top;
    const int dw = to.right - to.left;
    const int dh = to.bottom - to.top;
    for (int dy = 0; dy < dh; ++dy)
        for (int dx = 0; dx < dw; ++dx) {
            const int sx =
                from.left + int((2 * std::int64_t(dx) + 1) * sw / (2 * std::int64_t(dw)));
            const int sy = from.top + int((2 * std::int64_t(dy) + 1) * sh / (2 * std::int64_t(dh)));
            const int cx = to.left + dx;
            const int cy = to.top + dy;
            const int x = client.left + cx;
            const int y = client.top + cy;
            if (sx < 0 || sy < 0 || sx >= source.Width() || sy >= source.Height() || cx < 0 ||
                cy < 0 || x < 0 || y < 0 || x >= kScreenWidth || y >= kScreenHeight ||
                x >= client.right || y >= client.bottom)
                continue;
            screen[y * kScreenWidth + x] = source.Pixel(sx, sy) & 0x00FFFFFFu;
        }
    return screen;
}

TEST(PresentToWindow, EveryPixelFollowsTheNearestNeighbourRule)
{
    const platform::Image source = Numbered(40, 30);
    const struct {
        const char* what;
        RECT from;
        RECT to;
        RECT client;
    } cases[] = {
        { "unscaled", { 0, 0, 40, 30 }, { 0, 0, 40, 30 }, { 0, 0, 64, 48 } },
        { "unscaled part", { 5, 3, 25, 13 }, { 7, 9, 27, 19 }, { 2, 1, 60, 40 } },
        { "odd size stretched", { 0, 0, 39, 29 }, { 0, 0, 40, 30 }, { 0, 0, 64, 48 } },
        { "enlarged", { 3, 2, 10, 9 }, { 0, 0, 61, 45 }, { 1, 1, 64, 48 } },
        { "shrunk", { 0, 0, 40, 30 }, { 4, 4, 17, 11 }, { 0, 0, 64, 48 } },
        { "source partly outside the buffer",
          { -6, -2, 34, 28 },
          { 0, 0, 40, 30 },
          { 0, 0, 64, 48 } },
        { "scaled, source partly outside", { 30, 20, 50, 40 }, { 0, 0, 33, 27 }, { 0, 0, 64, 48 } },
        { "client partly off the screen", { 0, 0, 40, 30 }, { 0, 0, 40, 30 }, { -9, -4, 31, 26 } },
        { "destination partly outside the client",
          { 0, 0, 40, 30 },
          { -5, 20, 35, 50 },
          { 30, 10, 64, 48 } },
        { "scaled, clipped on every side",
          { 0, 0, 40, 30 },
          { -7, -3, 70, 50 },
          { -2, -1, 50, 40 } },
    };
    for (const auto& c : cases) {
        fake::ResetWindow(kScreenWidth, kScreenHeight);
        const HWND window = platform::CreateMainWindow(L"present");
        fake::SetClientPlacement(window, c.client);
        // Paint the screen with the marker first: pixels outside every bound stay so.
        std::vector<std::uint32_t> marker(kScreenWidth * kScreenHeight, 0xFF000000u | kUntouched);
        const HWND whole = platform::CreateMainWindow(L"screen");
        fake::SetClientPlacement(whole, RECT{ 0, 0, kScreenWidth, kScreenHeight });
        platform::PresentToWindow(
            whole,
            platform::PixelView{ marker.data(), kScreenWidth, kScreenHeight, kScreenWidth * 4 },
            RECT{ 0, 0, kScreenWidth, kScreenHeight }, RECT{ 0, 0, kScreenWidth, kScreenHeight });

        platform::PresentToWindow(window, source.View(), c.from, c.to);

        const std::vector<std::uint32_t> expected = Expected(source, c.from, c.to, c.client);
        int wrong = 0;
        for (int y = 0; y < kScreenHeight; ++y)
            for (int x = 0; x < kScreenWidth; ++x)
                if (fake::ScreenPixel(x, y) != expected[y * kScreenWidth + x] && wrong++ < 3)
                    ADD_FAILURE() << c.what << ": pixel (" << x << ", " << y << ") is " << std::hex
                                  << fake::ScreenPixel(x, y) << ", not "
                                  << expected[y * kScreenWidth + x];
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

}  // namespace
