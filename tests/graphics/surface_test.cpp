// Display, back buffer and picture surfaces on the fake screen: the on-screen rule, the
// drawing-pass protocol, Clear, the present source rectangles and DrawSurface's cuts.
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include "platform/fake/fake_window.h"
#include "platform/files.h"
#include "platform/window.h"
#include "tests/graphics/pixel_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A fake screen with the board's window placed on it, and the display made for it.
class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { SetScreen(1366, 768); }
    void TearDown() override
    {
        display.reset();
        EXPECT_EQ(CTQDirectDraw::GetInstanceCount(), 0);
    }

    void SetScreen(int width, int height)
    {
        fake::ResetWindow(width, height);
        window = platform::CreateMainWindow(L"Orlido");
    }
    // Client area at `client` in screen coordinates; back buffer of its size.
    void MakeDisplay(RECT client, int backWidth = 0, int backHeight = 0)
    {
        fake::SetClientPlacement(window, client);
        bool ok = false;
        display =
            std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, backWidth, backHeight, ok, window);
        ASSERT_TRUE(ok);
        ASSERT_NE(CTQSurface::GetBack(), nullptr);
    }
    static CTQSurface* Back() { return CTQSurface::GetBack(); }
    static COLORREF BackAt(int x, int y) { return Back()->GetImage()->PixelColor(x, y); }
    static COLORREF ScreenAt(int x, int y)
    {
        return platform::ColorFromArgb(fake::ScreenPixel(x, y));
    }

    HWND window = 0;
    std::unique_ptr<CTQSurface> display;
};

TEST_F(SurfaceTest, DisplayMakesTheBackBufferAndTheProcessWideSurfaces)
{
    std::vector<std::wstring> trace;
    platform::SetTraceCapture([&](const std::wstring& line) { trace.push_back(line); });
    MakeDisplay(RECT{ 0, 0, 1366, 740 });
    platform::SetTraceCapture(nullptr);

    EXPECT_EQ(CTQSurface::GetFront(), display.get());
    EXPECT_EQ(display->GetSurfaceSize(), (SIZE{ 1366, 768 }));  // the screen
    EXPECT_EQ(Back()->GetSurfaceSize(), (SIZE{ 1366, 740 }));   // the client area
    EXPECT_EQ(Back()->GetKind(), TQSURFACE_BACKBUFFER);
    EXPECT_EQ(CTQDirectDraw::GetInstanceCount(), 2);
    EXPECT_EQ(trace,
              (std::vector<std::wstring>{ L"Front Surface: Pixel Depth = 32\n",
                                          L"Back Surface: Pixel Depth = 32\n" }));

    // The display owns the back buffer; neither pointer outlives them.
    display.reset();
    EXPECT_EQ(CTQDirectDraw::GetInstanceCount(), 0);
    EXPECT_EQ(CTQSurface::GetFront(), nullptr);
    EXPECT_EQ(CTQSurface::GetBack(), nullptr);
}

TEST_F(SurfaceTest, ExplicitBackBufferSizeIsKept)
{
    MakeDisplay(RECT{ 0, 0, 1366, 768 }, 640, 480);
    EXPECT_EQ(Back()->GetSurfaceSize(), (SIZE{ 640, 480 }));
}

TEST_F(SurfaceTest, NothingIsDrawnWhileTheClientAreaIsNotWhollyOnTheScreen)
{
    const struct {
        RECT client;
        bool onScreen;
    } cases[] = {
        { { 0, 0, 1366, 768 }, true },
        { { 0, 0, 1367, 768 }, false },   // one column past the right edge
        { { -4, 0, 1362, 768 }, false },  // starts left of the screen
        { { 0, 0, 1366, 769 }, false },
        { { 100, 50, 600, 400 }, true },
    };
    for (const auto& c : cases) {
        SetScreen(1366, 768);
        MakeDisplay(c.client);
        bool ok = false;
        CTQSurface picture(TQSURFACE_PICTURE, 8, 8, ok);
        ASSERT_TRUE(ok);
        EXPECT_EQ(display->IsWindowOnScreen(), c.onScreen);
        EXPECT_EQ(Back()->BeginDraw(), c.onScreen);
        EXPECT_EQ(picture.BeginDraw(), c.onScreen);
        if (c.onScreen) {
            Back()->EndDraw();
            picture.EndDraw();
        }
        const int presents = fake::PresentCount();
        EXPECT_EQ(display->Present(), c.onScreen);
        EXPECT_EQ(fake::PresentCount(), presents + (c.onScreen ? 1 : 0));
        display.reset();
    }
}

TEST_F(SurfaceTest, ScreenSizeIsReadByTheFirstObjectOnly)
{
    bool ok = false;
    auto first = std::make_unique<CTQSurface>(TQSURFACE_PICTURE, 4, 4, ok);
    // The screen grows while objects live: the recorded size stays.
    SetScreen(1920, 1080);
    MakeDisplay(RECT{ 0, 0, 1920, 1080 });
    EXPECT_EQ(CTQDirectDraw::GetScreenSize(), (SIZE{ 1366, 768 }));
    EXPECT_FALSE(display->IsWindowOnScreen());
    display.reset();
    first.reset();

    MakeDisplay(RECT{ 0, 0, 1920, 1080 });
    EXPECT_EQ(CTQDirectDraw::GetScreenSize(), (SIZE{ 1920, 1080 }));
    EXPECT_TRUE(display->IsWindowOnScreen());
}

TEST_F(SurfaceTest, WindowPlaceIsRecordedOnceAtCreation)
{
    MakeDisplay(RECT{ 10, 20, 310, 220 });
    fake::SetClientPlacement(window, RECT{ -4, 0, 296, 200 });
    EXPECT_EQ(CTQDirectDraw::GetWindowRect(), (RECT{ 10, 20, 310, 220 }));
    EXPECT_TRUE(Back()->BeginDraw());
    Back()->EndDraw();
}

TEST_F(SurfaceTest, ClearOpensItsOwnPassOnlyWhenNoneIsOpen)
{
    MakeDisplay(RECT{ 0, 0, 40, 30 });
    Back()->Clear(kRed);
    EXPECT_EQ(BackAt(0, 0), kRed);
    EXPECT_EQ(BackAt(39, 29), kRed);
    EXPECT_EQ(Back()->GetDC(), nullptr);  // its own pass was closed

    ASSERT_TRUE(Back()->BeginDraw());
    HDC open = Back()->GetDC();
    Back()->Clear(static_cast<COLORREF>(-1));
    EXPECT_EQ(BackAt(5, 5), platform::GetSysColorWindow());
    EXPECT_EQ(Back()->GetDC(), open);  // still open
    EXPECT_EQ(open->BkColor(), platform::GetSysColorWindow());
    EXPECT_FALSE(Back()->BeginDraw());  // one context at a time
    Back()->EndDraw();
    EXPECT_EQ(Back()->GetDC(), nullptr);
}

TEST_F(SurfaceTest, ClearOffScreenDoesNothing)
{
    MakeDisplay(RECT{ -4, 0, 36, 30 });
    Back()->Clear(kRed);
    EXPECT_NE(BackAt(0, 0), kRed);
}

TEST_F(SurfaceTest, EndDrawWithoutAPassWritesTheTraceLine)
{
    MakeDisplay(RECT{ 0, 0, 40, 30 });
    std::vector<std::wstring> trace;
    platform::SetTraceCapture([&](const std::wstring& line) { trace.push_back(line); });
    Back()->EndDraw();
    platform::SetTraceCapture(nullptr);
    EXPECT_EQ(trace, std::vector<std::wstring>{ L"Urk: EndDraw failed!\n" });
}

TEST_F(SurfaceTest, FramesOfTheButtonWidthsOnTheBackBuffer)
{
    // The frame pen is centred on the edge: a 6-pixel grey frame covers 3 pixels each side
    // of x = 20, a 12-pixel green one 6 each side.
    MakeDisplay(RECT{ 0, 0, 120, 100 });
    const struct {
        int width;
        COLORREF colour;
    } frames[] = { { 6, kGrey }, { 12, kGreen } };
    for (const auto& f : frames) {
        Back()->Clear(kWhite);
        ASSERT_TRUE(Back()->BeginDraw());
        Back()->SetWidth(f.width);
        Back()->SetColor(f.colour);
        Back()->Box(20, 20, 60, 50, 0);
        Back()->EndDraw();
        const int half = f.width / 2;
        for (int x = 20 - half; x < 20 + half; ++x)
            EXPECT_EQ(BackAt(x, 45), f.colour) << f.width << " at x " << x;
        EXPECT_EQ(BackAt(20 - half - 1, 45), kWhite) << f.width;
        EXPECT_EQ(BackAt(20 + half, 45), kWhite) << f.width;
        EXPECT_EQ(BackAt(50, 20 - half), f.colour) << f.width;      // top edge
        EXPECT_EQ(BackAt(50, 70 + half - 1), f.colour) << f.width;  // bottom edge
        EXPECT_EQ(BackAt(50, 45), kWhite) << f.width;               // inside untouched
    }
}

TEST_F(SurfaceTest, PresentCopiesTheCentredWindowSizedRectangle)
{
    const struct {
        SIZE back;
        SIZE window;
        RECT source;
    } cases[] = {
        { { 1366, 768 }, { 1366, 768 }, { 0, 0, 1366, 768 } },
        { { 1365, 767 }, { 1365, 767 }, { 0, 0, 1364, 766 } },  // odd sizes lose a column and row
        { { 200, 100 }, { 100, 50 }, { 50, 25, 150, 75 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTQSurface::PresentSourceRect(c.back, c.window), c.source);
}

TEST_F(SurfaceTest, PresentOfAnOddSizedBackBufferStretchesOverTheWindow)
{
    MakeDisplay(RECT{ 0, 0, 1365, 767 });
    ASSERT_EQ(Back()->GetSurfaceSize(), (SIZE{ 1365, 767 }));
    Back()->Clear(kRed);
    ASSERT_TRUE(Back()->BeginDraw());
    Back()->SetColor(kBlue);
    Back()->Box(1364, 0, 1, 767, 1);  // the last column, which is not copied
    Back()->EndDraw();
    ASSERT_EQ(BackAt(1364, 10), kBlue);
    EXPECT_TRUE(display->Present());
    EXPECT_EQ(ScreenAt(1364, 10), kRed);
    EXPECT_EQ(ScreenAt(0, 766), kRed);
}

TEST_F(SurfaceTest, PresentGoesToTheWindowsPlace)
{
    SetScreen(1024, 768);
    MakeDisplay(RECT{ 100, 50, 300, 150 });
    Back()->Clear(kGreen);
    EXPECT_TRUE(display->Present());
    EXPECT_EQ(ScreenAt(100, 50), kGreen);
    EXPECT_EQ(ScreenAt(299, 149), kGreen);
    EXPECT_EQ(ScreenAt(99, 50), kBlack);
    EXPECT_EQ(ScreenAt(300, 149), kBlack);
}

TEST_F(SurfaceTest, PresentRectCopiesOnlyThatRectangleEvenOffScreen)
{
    MakeDisplay(RECT{ 10, 20, 110, 120 });
    Back()->Clear(kBlue);
    EXPECT_TRUE(display->PresentRect(5, 5, 15, 15));
    EXPECT_EQ(ScreenAt(10 + 5, 20 + 5), kBlue);
    EXPECT_EQ(ScreenAt(10 + 14, 20 + 14), kBlue);
    EXPECT_EQ(ScreenAt(10 + 15, 20 + 15), kBlack);
    EXPECT_EQ(ScreenAt(10 + 4, 20 + 5), kBlack);
    // Rectangles reaching past the back buffer copy the part inside it.
    EXPECT_TRUE(display->PresentRect(90, 90, 500, 500));
    EXPECT_EQ(ScreenAt(10 + 99, 20 + 99), kBlue);
}

TEST_F(SurfaceTest, PresentAfterTheWindowLeftTheScreenCopiesNothing)
{
    MakeDisplay(RECT{ 100, 0, 1467, 768 });  // reaches past the right edge
    Back()->Clear(kGreen);
    EXPECT_FALSE(display->Present());
    EXPECT_EQ(fake::PresentCount(), 0);
    EXPECT_EQ(ScreenAt(200, 10), kBlack);
}

// A picture of three vertical bands: red, green, blue, the outer ones `band` wide.
std::unique_ptr<CTQSurface> Bands(int width, int height, int band)
{
    bool ok = false;
    auto picture = std::make_unique<CTQSurface>(TQSURFACE_PICTURE, width, height, ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(picture->BeginDraw());
    picture->Clear(kGreen);
    picture->SetColor(kRed);
    picture->Box(0, 0, band, height, 1);
    picture->SetColor(kBlue);
    picture->Box(width - band, 0, band, height, 1);
    picture->EndDraw();
    return picture;
}

TEST_F(SurfaceTest, FitModesCutTheSourceRectangle)
{
    const struct {
        SIZE picture;
        const wchar_t* mode;
        RECT source;
    } cases[] = {
        { { 400, 300 }, L"Prune", { 50, 0, 350, 300 } },
        { { 300, 401 }, L"Prune", { 0, 50, 300, 351 } },  // odd difference: 301 rows
        { { 300, 300 }, L"Prune", { 0, 0, 300, 300 } },
        { { 400, 300 }, L"", { 0, 0, 400, 300 } },
        { { 400, 300 }, L"prune", { 0, 0, 400, 300 } },  // exact comparison
        { { 400, 300 }, L"Stretch", { 0, 0, 400, 300 } },
    };
    for (const auto& c : cases)
        EXPECT_EQ(CTQSurface::SourceRectForFit(c.picture, c.mode), c.source) << c.mode;
}

TEST_F(SurfaceTest, DrawSurfacePrunesOrSqueezesWithoutSmoothing)
{
    MakeDisplay(RECT{ 0, 0, 300, 200 });
    auto picture = Bands(400, 300, 50);
    Back()->Clear(kWhite);

    Back()->DrawSurface(picture.get(), 0, 0, L"Prune", 100, 100);
    EXPECT_EQ(InkBounds(*Back()->GetImage(), kWhite), (RECT{ 0, 0, 100, 100 }));
    for (int x : { 0, 50, 99 })
        EXPECT_EQ(BackAt(x, 50), kGreen) << x;  // only the centred square's middle band

    Back()->DrawSurface(picture.get(), 150, 0, L"", 100, 100);
    EXPECT_EQ(BackAt(150, 50), kRed);  // the whole picture squeezed in
    EXPECT_EQ(BackAt(249, 50), kBlue);
    EXPECT_EQ(BackAt(200, 50), kGreen);
    // No smoothing: every pixel is one of the three colours.
    for (int x = 150; x < 250; ++x) {
        const COLORREF c = BackAt(x, 50);
        EXPECT_TRUE(c == kRed || c == kGreen || c == kBlue) << x;
    }
}

TEST_F(SurfaceTest, DrawSurfaceWithNegativeWidthCopiesAtTheOwnSize)
{
    MakeDisplay(RECT{ 0, 0, 100, 100 });
    auto picture = Bands(30, 20, 5);
    Back()->Clear(kWhite);
    Back()->DrawSurface(picture.get(), 10, 10, L"", -1, 7);
    EXPECT_EQ(InkBounds(*Back()->GetImage(), kWhite), (RECT{ 10, 10, 40, 30 }));
    EXPECT_EQ(BackAt(10, 10), kRed);
    EXPECT_EQ(BackAt(39, 29), kBlue);
    // Past the edges: only the part inside is drawn.
    Back()->DrawSurface(picture.get(), 90, 90, L"", 30, 20);
    EXPECT_EQ(BackAt(99, 99), kGreen);
}

TEST_F(SurfaceTest, BlankConstructorCreatesOnlyForNonZeroSizes)
{
    bool ok = true;
    CTQSurface none(TQSURFACE_PICTURE, 0, 10, ok);
    EXPECT_TRUE(ok);  // not written
    EXPECT_EQ(none.GetImage(), nullptr);

    ok = true;
    CTQSurface huge(TQSURFACE_PICTURE, 100000, 100000, ok);
    EXPECT_FALSE(ok);

    ok = false;
    CTQSurface blank(TQSURFACE_PICTURE, 16, 9, ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(blank.GetSurfaceSize(), (SIZE{ 16, 9 }));
}

}  // namespace
