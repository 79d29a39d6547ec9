// The fake screen: where presented pixels land, stretching without smoothing, clipping.
#include "platform/fake/fake_window.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kGreen = 0xFF00FF00u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

struct Pixels {
    int width;
    int height;
    std::vector<std::uint32_t> data;
    platform::PixelView View() const { return { data.data(), width, height, width * 4 }; }
};

TEST(FakeWindow, ClientCoversTheScreenUnlessPlacedElsewhere)
{
    fake::ResetWindow(1366, 768);
    const HWND window = platform::CreateMainWindow(L"Orlido");
    EXPECT_EQ(platform::GetScreenWidth(), 1366);
    EXPECT_EQ(platform::GetClientRect(window), (RECT{ 0, 0, 1366, 768 }));
    EXPECT_EQ(platform::GetWindowTitle(window), L"Orlido");

    fake::SetClientPlacement(window, RECT{ -4, 10, 1363, 768 });
    EXPECT_EQ(platform::GetClientRect(window), (RECT{ 0, 0, 1367, 758 }));
    EXPECT_EQ(platform::ClientToScreen(window, POINT{ 5, 5 }), (POINT{ 1, 15 }));

    platform::ShowFullScreen(window);
    EXPECT_EQ(platform::GetClientRect(window), (RECT{ 0, 0, 1366, 768 }));
}

TEST(FakeWindow, PresentStretchesWithoutSmoothingAndDropsAlpha)
{
    fake::ResetWindow(64, 48);
    const HWND window = platform::CreateMainWindow(L"");
    const Pixels quad{ 2, 2, { kRed, kGreen, kBlue, kWhite } };
    platform::PresentToWindow(window, quad.View(), RECT{ 0, 0, 2, 2 }, RECT{ 10, 10, 14, 14 });
    EXPECT_EQ(fake::PresentCount(), 1);
    EXPECT_EQ(fake::ScreenPixel(10, 10), 0x00FF0000u);
    EXPECT_EQ(fake::ScreenPixel(11, 11), 0x00FF0000u);
    EXPECT_EQ(fake::ScreenPixel(12, 11), 0x0000FF00u);
    EXPECT_EQ(fake::ScreenPixel(11, 12), 0x000000FFu);
    EXPECT_EQ(fake::ScreenPixel(13, 13), 0x00FFFFFFu);
    EXPECT_EQ(fake::ScreenPixel(14, 14), 0u);

    // Shrinking samples each destination pixel's centre: columns and rows 1 and 3 of 4.
    Pixels ramp{ 4, 4, {} };
    for (std::uint32_t i = 0; i < 16; ++i)
        ramp.data.push_back(i);
    platform::PresentToWindow(window, ramp.View(), RECT{ 0, 0, 4, 4 }, RECT{ 0, 0, 2, 2 });
    EXPECT_EQ(fake::ScreenPixel(0, 0), 5u);
    EXPECT_EQ(fake::ScreenPixel(1, 0), 7u);
    EXPECT_EQ(fake::ScreenPixel(0, 1), 13u);
    EXPECT_EQ(fake::ScreenPixel(1, 1), 15u);
}

// A client area partly off the screen, and rectangles past the buffers, write only the
// pixels that exist on both sides.
TEST(FakeWindow, PresentClipsToTheScreenAndTheSource)
{
    fake::ResetWindow(8, 2);
    const HWND window = platform::CreateMainWindow(L"");
    fake::SetClientPlacement(window, RECT{ -4, 0, 5, 2 });
    const Pixels row{ 9, 1, { 1, 2, 3, 4, 5, 6, 7, 8, 9 } };
    platform::PresentToWindow(window, row.View(), RECT{ 0, 0, 9, 1 }, RECT{ 0, 0, 9, 1 });
    EXPECT_EQ(fake::ScreenPixel(0, 0), 5u);
    EXPECT_EQ(fake::ScreenPixel(4, 0), 9u);
    EXPECT_EQ(fake::ScreenPixel(5, 0), 0u);  // outside the client area

    platform::PresentToWindow(window, row.View(), RECT{ 5, 0, 12, 3 }, RECT{ 4, 0, 11, 3 });
    EXPECT_EQ(fake::ScreenPixel(0, 0), 6u);
    EXPECT_EQ(fake::ScreenPixel(3, 0), 9u);
    EXPECT_EQ(fake::ScreenPixel(0, 1), 0u);  // the source has one row only
    EXPECT_EQ(fake::PresentCount(), 2);
}

}  // namespace
