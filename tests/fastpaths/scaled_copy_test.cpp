// A picture drawn into the back buffer keeps its stretched copy between draws. Whatever
// the copy, the back buffer must hold exactly what a fresh stretch gives, also after the
// picture's pixels changed (a caption written on it) and when the size or cut changes.
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include "tests/buttons/buttons_fixture.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebutton.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>

namespace {

using buttons_test::DisplayTest;

constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A picture whose every pixel differs, so a wrongly sampled pixel shows.
std::unique_ptr<CTQSurface> NumberedPicture(int width, int height)
{
    platform::Image image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Pixels()[y * width + x] = 0xFF000000u | std::uint32_t(x << 12 | y);
    bool ok = false;
    auto picture = std::make_unique<CTQSurface>(std::move(image), ok);
    EXPECT_TRUE(ok);
    return picture;
}

class ScaledCopyTest : public DisplayTest {
protected:
    // The back buffer as it must be: the current back buffer with the picture stretched
    // into the rectangle afresh.
    platform::Image Reference(const CTQSurface& picture, RECT to, const std::wstring& fitMode) const
    {
        platform::Image expected = *Back()->GetImage();
        platform::StretchCopy(*picture.GetImage(),
                              CTQSurface::SourceRectForFit(picture.GetSurfaceSize(), fitMode),
                              expected, to);
        return expected;
    }

    void DrawAndCompare(CTQSurface& picture, RECT to, const std::wstring& fitMode, const char* what)
    {
        const platform::Image expected = Reference(picture, to, fitMode);
        Back()->DrawSurface(&picture, to.left, to.top, fitMode, to.right - to.left,
                            to.bottom - to.top);
        const platform::Image& back = *Back()->GetImage();
        int wrong = 0;
        for (int y = 0; y < back.Height(); ++y)
            for (int x = 0; x < back.Width(); ++x)
                if (back.Pixel(x, y) != expected.Pixel(x, y) && wrong++ < 3)
                    ADD_FAILURE() << what << ": pixel (" << x << ", " << y << ")";
        EXPECT_EQ(wrong, 0) << what;
    }
};

TEST_F(ScaledCopyTest, RedrawsMatchAFreshStretchWhateverChanges)
{
    auto picture = NumberedPicture(97, 61);
    DrawAndCompare(*picture, RECT{ 10, 20, 83, 93 }, L"Prune", "first draw");
    ClearBack();
    DrawAndCompare(*picture, RECT{ 10, 20, 83, 93 }, L"Prune",
                   "the same again, from the kept copy");
    DrawAndCompare(*picture, RECT{ 150, 30, 223, 103 }, L"Prune", "elsewhere, same size");
    DrawAndCompare(*picture, RECT{ 150, 30, 223, 103 }, L"", "the whole picture, not its square");
    DrawAndCompare(*picture, RECT{ 0, 100, 131, 231 }, L"", "another size");
    DrawAndCompare(*picture, RECT{ 280, 200, 353, 273 }, L"", "partly outside the back buffer");
    DrawAndCompare(*picture, RECT{ -20, -10, 53, 63 }, L"", "partly before the back buffer");
    DrawAndCompare(*picture, RECT{ 5, 5, 102, 66 }, L"", "unscaled");
}

TEST_F(ScaledCopyTest, ChangedPicturePixelsAreDrawnAtTheNextDraw)
{
    auto picture = NumberedPicture(97, 61);
    const RECT to{ 10, 20, 83, 93 };
    DrawAndCompare(*picture, to, L"Prune", "before the caption");

    // A caption is written onto the picture after it has been drawn once.
    ASSERT_TRUE(picture->BeginDraw());
    picture->Clear(kMagenta);
    picture->EndDraw();
    DrawAndCompare(*picture, to, L"Prune", "after the caption");
    EXPECT_EQ(BackPixel(40, 50), kMagenta);

    // Drawn while a pass on the picture is still open, then written again in that pass.
    ASSERT_TRUE(picture->BeginDraw());
    picture->Clear(kWhite);
    DrawAndCompare(*picture, to, L"Prune", "inside the pass");
    picture->Clear(kMagenta);
    DrawAndCompare(*picture, to, L"Prune", "written again inside the pass");
    picture->EndDraw();
    EXPECT_EQ(BackPixel(40, 50), kMagenta);
}

// A button drawn once keeps only its stretched copy; whatever it is drawn at next, the back
// buffer must show what the picture with its caption, stretched afresh, gives.
TEST_F(ScaledCopyTest, ButtonLetsItsPictureGoAndReadsItAgainForAnotherSize)
{
    const auto numbered = NumberedPicture(97, 61);
    ASSERT_TRUE(platform::WritePng(*numbered->GetImage(), m_folder.File(L"B00001Katt.png")));
    m_folder.Write(L"B00001Katt.txt", "Katt");
    bool ok = false;
    // Never drawn: the picture as the button holds it before its first draw.
    const CTQImageButton reference(m_folder.File(L"B00001Katt.png"), 20, ok, true);
    ASSERT_TRUE(ok);
    CTQImageButton button(m_folder.File(L"B00001Katt.png"), 20, ok, true);
    ASSERT_TRUE(ok);

    const struct {
        RECT to;
        const wchar_t* fitMode;
        const char* what;
    } draws[] = {
        { { 10, 20, 83, 93 }, L"Prune", "first draw" },
        { { 10, 20, 83, 93 }, L"Prune", "the same again, from the kept copy alone" },
        { { 100, 10, 300, 210 }, L"Prune", "larger: the picture read again, caption and all" },
        { { 10, 20, 83, 93 }, L"Prune", "back at the first size" },
        { { 0, 100, 131, 231 }, L"", "the whole picture, not its square" },
    };
    for (const auto& d : draws) {
        ClearBack();
        const platform::Image expected = Reference(reference, d.to, d.fitMode);
        button.DrawPicture(d.to.left, d.to.top, d.fitMode, d.to.right - d.to.left,
                           d.to.bottom - d.to.top);
        const platform::Image& back = *Back()->GetImage();
        int wrong = 0;
        for (int y = 0; y < back.Height(); ++y)
            for (int x = 0; x < back.Width(); ++x)
                if (back.Pixel(x, y) != expected.Pixel(x, y) && wrong++ < 3)
                    ADD_FAILURE() << d.what << ": pixel (" << x << ", " << y << ")";
        EXPECT_EQ(wrong, 0) << d.what;
        EXPECT_EQ(button.GetImage(), nullptr) << d.what << ": only the stretched copy is kept";
        EXPECT_TRUE(button.HasPicture()) << d.what;
    }

    // The file gone meanwhile: another size is drawn from the kept copy, never left blank.
    std::filesystem::remove(platform::ToUtf8(m_folder.File(L"B00001Katt.png")));
    ClearBack();
    button.DrawPicture(150, 50, L"", 100, 100);
    EXPECT_NE(BackPixel(150, 50), kWhite);
    EXPECT_NE(BackPixel(249, 149), kWhite);
}

TEST(CopyPixels, CutsToBothImages)
{
    platform::Image source;
    source.Create(6, 5);
    for (int i = 0; i < 30; ++i)
        source.Pixels()[i] = 0xFF000000u | std::uint32_t(i + 1);
    const struct {
        RECT from;
        int x, y;
    } cases[] = {
        { { 0, 0, 6, 5 }, 1, 1 }, { { 1, 1, 4, 3 }, 0, 0 },   { { 0, 0, 6, 5 }, -2, -3 },
        { { 0, 0, 6, 5 }, 5, 4 }, { { -2, -1, 8, 7 }, 1, 1 }, { { 0, 0, 6, 5 }, 9, 0 },
        { { 2, 2, 2, 4 }, 0, 0 }, { { 0, 0, 6, 5 }, -6, 0 },
    };
    for (const auto& c : cases) {
        platform::Image dest;
        dest.Create(8, 7);
        platform::CopyPixels(source, c.from, dest, c.x, c.y);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 8; ++x) {
                const int sx = c.from.left + x - c.x;
                const int sy = c.from.top + y - c.y;
                const bool inside = sx >= std::max(c.from.left, 0) &&
                    sx < std::min(c.from.right, 6) && sy >= std::max(c.from.top, 0) &&
                    sy < std::min(c.from.bottom, 5);
                EXPECT_EQ(dest.Pixel(x, y), inside ? source.Pixel(sx, sy) : 0u)
                    << "copy to (" << c.x << ", " << c.y << "), pixel (" << x << ", " << y << ")";
            }
    }
}

}  // namespace
