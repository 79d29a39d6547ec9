// The drawing primitives on a real raster: state rules (what gets made and selected when)
// and geometry checked on pixels.
#include "superlibraries/tqdirectdraw_obsolete/tqdirectdrawgraphics.h"
#include "tests/graphics/pixel_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

namespace {

const double kPi = 4.0 * std::atan(1.0);

// One drawing pass of a CTQPigs on a white image.
struct Pass {
    explicit Pass(int width = 200, int height = 200) : image(WhiteImage(width, height)), dc(image)
    {
        pigs.Attach(&dc);
    }
    COLORREF At(int x, int y) const { return image.PixelColor(x, y); }

    platform::Image image;
    platform::DrawContext dc;
    CTQPigs pigs;
};

TEST(Nearest, RoundsHalvesAwayFromZeroAndHoldsAtTheEnds)
{
    const struct {
        double in;
        int out;
    } cases[] = {
        { 2.5, 3 },          { -2.5, -3 },
        { -2.4, -2 },        { 2.4999, 2 },
        { 0.0, 0 },          { -0.5, -1 },
        { 314.5, 315 },      { 1e300, INT_MAX },
        { -1e300, INT_MIN }, { std::numeric_limits<double>::quiet_NaN(), 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Nearest(c.in), c.out) << c.in;
    EXPECT_EQ(CTQPigs::Nearest(-2.5), -3);
}

TEST(PigsState, SetColorTwiceMakesNoSecondPen)
{
    Pass p;
    const long before = platform::PensCreated();
    EXPECT_EQ(p.pigs.SetColor(kRed), kBlack);
    EXPECT_EQ(platform::PensCreated(), before + 1);
    EXPECT_EQ(p.dc.CurrentPen(), (platform::Pen{ 1, kRed }));
    EXPECT_EQ(p.dc.TextColor(), kRed);

    EXPECT_EQ(p.pigs.SetColor(kRed), kRed);
    EXPECT_EQ(platform::PensCreated(), before + 1);
}

TEST(PigsState, AttachResetsToBlackWidthOneWithoutSelecting)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.SetWidth(3);
    p.dc.SetTextColor(kBlue);

    platform::DrawContext second(p.image);
    p.pigs.Attach(&second);
    EXPECT_EQ(p.pigs.GetColor(), kBlack);
    EXPECT_EQ(p.pigs.GetWidth(), 1);
    // Nothing selected: the context keeps its own pen, and black/1 are "unchanged".
    EXPECT_EQ(p.pigs.SetColor(kBlack), kBlack);
    EXPECT_EQ(p.pigs.SetWidth(1), 1);
    EXPECT_EQ(second.CurrentPen(), platform::Pen{});
    EXPECT_EQ(second.CurrentBrush(), platform::Brush{});

    // SetWidth after Attach selects a black pen of the new width; text colour untouched.
    second.SetTextColor(kBlue);
    EXPECT_EQ(p.pigs.SetWidth(6), 1);
    EXPECT_EQ(second.CurrentPen(), (platform::Pen{ 6, kBlack }));
    EXPECT_EQ(second.TextColor(), kBlue);
}

TEST(PigsState, ReleaseObjectsPutsTheContextsOwnPenBack)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.ReleaseObjects();
    EXPECT_EQ(p.dc.CurrentPen(), platform::Pen{});
    EXPECT_EQ(p.dc.CurrentBrush(), platform::Brush{});
}

TEST(PigsGeometry, OutlinedBoxIsFourLinesEndingAtTheFarCorner)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.Box(10, 10, 100, 50, 0);
    EXPECT_EQ(p.pigs.GetCurrentPoint(), (POINT{ 110, 60 }));
    EXPECT_EQ(p.dc.CurrentPosition(), (POINT{ 110, 60 }));
    EXPECT_EQ(p.At(10, 10), kRed);
    EXPECT_EQ(p.At(60, 10), kRed);    // top
    EXPECT_EQ(p.At(60, 60), kRed);    // bottom
    EXPECT_EQ(p.At(10, 35), kRed);    // left
    EXPECT_EQ(p.At(110, 35), kRed);   // right
    EXPECT_EQ(p.At(60, 35), kWhite);  // inside untouched
    EXPECT_EQ(p.At(111, 35), kWhite);

    RECT r{ 120, 120, 150, 140 };
    p.pigs.Box(r, 0);
    EXPECT_EQ(p.pigs.GetCurrentPoint(), (POINT{ 150, 140 }));
}

TEST(PigsGeometry, FilledBoxUsesTheBrush)
{
    Pass p;
    p.pigs.SetColor(kBlue);
    p.pigs.Box(10, 10, 20, 20, 1);
    EXPECT_EQ(p.At(20, 20), kBlue);
    EXPECT_EQ(p.At(10, 10), kBlue);
    EXPECT_EQ(p.At(29, 29), kBlue);
    EXPECT_EQ(p.At(30, 30), kWhite);  // right and bottom lie outside
}

TEST(PigsGeometry, ThinLinesLeaveOutTheirLastPixelInEitherDirection)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.SetStart(2, 2);
    p.pigs.LineDX(6);
    EXPECT_EQ(p.At(2, 2), kRed);
    EXPECT_EQ(p.At(7, 2), kRed);
    EXPECT_EQ(p.At(8, 2), kWhite);

    p.pigs.SetStart(8, 4);
    p.pigs.Line(2, 4);
    EXPECT_EQ(p.At(8, 4), kRed);
    EXPECT_EQ(p.At(3, 4), kRed);
    EXPECT_EQ(p.At(2, 4), kWhite);
    EXPECT_EQ(p.pigs.GetCurrentPoint(), (POINT{ 2, 4 }));

    // A line from far outside still shows the part that lies on the image.
    p.pigs.SetStart(-5'000'000, 9);
    p.pigs.LineX(50);
    EXPECT_EQ(p.At(0, 9), kRed);
    EXPECT_EQ(p.At(49, 9), kRed);
    EXPECT_EQ(p.At(50, 9), kWhite);
}

TEST(PigsGeometry, TriangleTurnsClockwiseAboutItsFirstCorner)
{
    // (0,0) (10,0) (0,10) turned by a quarter turn gives (0,0) (0,10) (-10,0); drawn here
    // about (50, 50).
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.Triangle(50, 50, 60, 50, 50, 60, kPi / 2, false);
    EXPECT_EQ(p.At(45, 52), kRed);    // inside the turned triangle
    EXPECT_EQ(p.At(50, 59), kRed);    // along its edge to (50, 60)
    EXPECT_EQ(p.At(41, 50), kRed);    // along its edge to (40, 50)
    EXPECT_EQ(p.At(55, 52), kWhite);  // where the unturned one would be
    EXPECT_EQ(InkBounds(p.image, kWhite), (RECT{ 40, 50, 51, 61 }));
}

TEST(PigsGeometry, ArrowShaftOvershootsTheTipByItsWidth)
{
    // Arrow((100, 100), 15, 50, 0): shaft (100, 100) to (100, 35), head tip (100, 50)
    // with corners (63, 100) and (137, 100).
    Pass p;
    p.pigs.Arrow(POINT{ 100, 100 }, 15, 50, 0);
    EXPECT_EQ(p.pigs.GetWidth(), 1);
    EXPECT_EQ(p.pigs.GetCurrentPoint(), (POINT{ 100, 35 }));
    EXPECT_EQ(p.At(100, 36), kBlack);  // shaft beyond the tip
    EXPECT_EQ(p.At(93, 40), kBlack);   // 15 wide
    EXPECT_EQ(p.At(100, 20), kWhite);
    EXPECT_EQ(p.At(65, 99), kBlack);   // head near its left corner
    EXPECT_EQ(p.At(135, 99), kBlack);  // and its right corner
    EXPECT_EQ(p.At(60, 99), kWhite);
    EXPECT_EQ(p.At(140, 99), kWhite);
    EXPECT_EQ(p.At(75, 60), kWhite);  // outside the head's sloping side
}

TEST(PigsGeometry, ArrowTurnsClockwiseWithItsAngle)
{
    Pass p;
    p.pigs.Arrow(POINT{ 50, 100 }, 15, 50, 90);
    EXPECT_EQ(p.pigs.GetCurrentPoint(), (POINT{ 100, 85 }));  // width taken off y unturned
    EXPECT_EQ(p.At(95, 100), kBlack);  // the head points right, its tip at (100, 100)
    EXPECT_EQ(p.At(50, 63), kBlack);   // a head corner, turned from (63, 150) about the tip
    EXPECT_EQ(p.At(50, 40), kWhite);   // nothing points up
}

TEST(PigsGeometry, CrossAndPlusRestoreTheWidth)
{
    Pass p;
    p.pigs.SetWidth(2);
    p.pigs.Cross(50, 50, 10, 5);
    EXPECT_EQ(p.pigs.GetWidth(), 2);
    EXPECT_EQ(p.At(45, 45), kBlack);
    EXPECT_EQ(p.At(55, 45), kBlack);
    EXPECT_EQ(p.At(50, 42), kWhite);

    p.pigs.Plus(150, 50, 10, 3);
    EXPECT_EQ(p.pigs.GetWidth(), 2);
    EXPECT_EQ(p.At(142, 50), kBlack);
    EXPECT_EQ(p.At(150, 58), kBlack);
    EXPECT_EQ(p.At(145, 45), kWhite);
}

TEST(PigsGeometry, HollowCircleLeavesTheHollowBrushSelected)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.Circle(50, 50, 20, false);
    EXPECT_EQ(p.At(50, 50), kWhite);
    EXPECT_EQ(p.At(30, 50), kRed);

    p.pigs.Box(120, 120, 30, 30, 1);
    EXPECT_EQ(p.At(135, 135), kWhite);  // still hollow
    EXPECT_EQ(p.At(120, 135), kRed);

    p.pigs.SetColor(kBlue);
    p.pigs.Box(120, 120, 30, 30, 1);
    EXPECT_EQ(p.At(135, 135), kBlue);

    p.pigs.Circle(50, 150, 10, true);
    EXPECT_EQ(p.At(50, 150), kBlue);
}

TEST(PigsGeometry, EllipseDrawsOnlyInModeOne)
{
    Pass p;
    p.pigs.SetColor(kRed);
    p.pigs.Ellipse(100, 100, 30, 20, 0);
    EXPECT_EQ(InkBounds(p.image, kWhite), RECT{});
    p.pigs.Ellipse(100, 100, 30, 20, 1);
    EXPECT_EQ(p.At(100, 100), kRed);
    const RECT ink = InkBounds(p.image, kWhite);
    EXPECT_EQ(ink.left, 70);
    EXPECT_EQ(ink.top, 80);
    EXPECT_LE(ink.right, 131);
    EXPECT_LE(ink.bottom, 121);
}

TEST(PigsGeometry, PolygonAtAnOriginAndSinglePixels)
{
    Pass p;
    p.pigs.SetColor(kGreen);
    const POINT offsets[] = { { 0, 0 }, { 20, 0 }, { 20, 20 }, { 0, 20 } };
    p.pigs.Polygon(POINT{ 100, 100 }, offsets, 4, true);
    EXPECT_EQ(p.At(110, 110), kGreen);
    EXPECT_EQ(InkBounds(p.image, kWhite), (RECT{ 100, 100, 121, 121 }));

    p.pigs.Polygon(POINT{ 0, 0 }, nullptr, 4, true);  // nothing, no crash
    p.pigs.SetPixel(5, 6);
    EXPECT_EQ(p.At(5, 6), kGreen);
    p.pigs.SetPixel(-1, 500);  // outside: nothing
}

TEST(PigsText, MeasuresWithoutWrappingAndDrawsNothingForEmptyText)
{
    Pass p(300, 200);
    p.pigs.SetFont(L"Sans", 20, 700);
    EXPECT_EQ(p.dc.CurrentFont(), (platform::Font{ L"Sans", 20, 700 }));
    p.pigs.SetBkMode(TRANSPARENT);

    RECT one{ 0, 0, 10, 10 };
    p.pigs.Text(one, L"A long line of text", DT_CALCRECT);
    RECT two{ 0, 0, 10, 10 };
    p.pigs.Text(two, L"A long line of text\nshort", DT_CALCRECT);
    EXPECT_GT(one.right, 100);  // not wrapped to the 10-pixel rectangle
    EXPECT_EQ(two.right, one.right);
    EXPECT_NEAR(one.bottom, 20, 3);  // a positive height is the line's cell height
    EXPECT_NEAR(two.bottom, 2 * one.bottom, 2);
    EXPECT_EQ(InkBounds(p.image, kWhite), RECT{});  // measuring draws nothing

    p.pigs.Text(10, 10, L"");
    EXPECT_EQ(InkBounds(p.image, kWhite), RECT{});
    p.pigs.Text(10, 10, L"Ja");
    const RECT ink = InkBounds(p.image, kWhite);
    // Smoothed glyph edges may spill a pixel or two before the origin.
    EXPECT_GE(ink.left, 10 - 3);
    EXPECT_GE(ink.top, 10);
    EXPECT_LT(ink.bottom, 10 + 25);
}

TEST(PigsText, OpaqueModeFillsBehindTheText)
{
    Pass p(200, 100);
    p.pigs.SetFont(L"Sans", 20, 400);
    p.pigs.SetBkColor(kBlue);
    p.pigs.Text(10, 10, L"Nej");
    EXPECT_EQ(p.At(10, 10), kBlue);
    p.pigs.SetBkMode(TRANSPARENT);
    p.pigs.Text(10, 60, L"Nej");
    EXPECT_EQ(p.At(10, 60), kWhite);
}

TEST(PigsText, ABlockCentredAsTheButtonsDoIt)
{
    // Measure, move the block to the centre, draw its lines left-aligned.
    Pass p(240, 160);
    p.pigs.SetFont(L"Sans", 24, 700);
    p.pigs.SetColor(RGB(1, 1, 1));
    p.pigs.SetBkMode(TRANSPARENT);
    const std::wstring text = L"Tillbaka\nJa";
    RECT r{ 0, 0, 240, 160 };
    p.pigs.Text(r, text, DT_CALCRECT);
    const int w = r.right;
    const int h = r.bottom;
    r = { 240 / 2 - w / 2, 160 / 2 - h / 2, 240 / 2 - w / 2 + w, 160 / 2 - h / 2 + h };
    p.pigs.Text(r, text, DT_NOCLIP);

    const RECT ink = InkBounds(p.image, kWhite);
    ASSERT_NE(ink, RECT{});
    EXPECT_NEAR((ink.left + ink.right) / 2.0, 120, 4);
    EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 80, 6);
    EXPECT_GE(ink.left, r.left - 3);
    EXPECT_LE(ink.bottom, r.bottom);
    // Left-aligned: the short second line starts where the first does.
    int secondLeft = INT_MAX;
    for (int y = r.top + h / 2; y < r.bottom; ++y)
        for (int x = 0; x < 240; ++x)
            if (p.At(x, y) != kWhite)
                secondLeft = std::min(secondLeft, x);
    EXPECT_NEAR(secondLeft, ink.left, 3);
}

TEST(PigsState, DrawingWithoutAContextOnlyMovesTheCurrentPoint)
{
    CTQPigs pigs;
    pigs.SetColor(kRed);
    pigs.SetStart(5, 5);
    pigs.LineD(10, 10);
    pigs.Box(0, 0, 10, 10, 1);
    pigs.Text(0, 0, L"x");
    pigs.SetFont(L"Sans", 10, 400);
    EXPECT_EQ(pigs.GetCurrentPoint(), (POINT{ 15, 15 }));
}

}  // namespace
