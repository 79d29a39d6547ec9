// Picture files: decoding by content, broken files, the stretch copy, and loading a
// picture surface at its full size.
#include "platform/pixels.h"
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"

#include "platform/fake/fake_window.h"
#include "tests/foundation/temp_folder.h"
#include "tests/graphics/pixel_helpers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// 2 x 2 pixels: red, green on the top row, blue, white below.
platform::Image FourColours()
{
    platform::Image image;
    image.Create(2, 2);
    image.Pixels()[0] = platform::ArgbFromColor(kRed);
    image.Pixels()[1] = platform::ArgbFromColor(kGreen);
    image.Pixels()[2] = platform::ArgbFromColor(kBlue);
    image.Pixels()[3] = platform::ArgbFromColor(kWhite);
    return image;
}

void Put16(std::string& s, unsigned v)
{
    s += char(v & 0xFF);
    s += char((v >> 8) & 0xFF);
}
void Put32(std::string& s, std::uint32_t v)
{
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

// A 24-bit bottom-up BMP of the four colours above, with width and height as given in
// its header (so broken headers can be made from it).
std::string FourColourBmp(std::int32_t width = 2, std::int32_t height = 2)
{
    std::string pixels;
    // Rows bottom-up, BGR, padded to 4 bytes.
    pixels += std::string("\xFF\x00\x00\xFF\xFF\xFF", 6) + std::string(2, '\0');  // blue, white
    pixels += std::string("\x00\x00\xFF\x00\xFF\x00", 6) + std::string(2, '\0');  // red, green
    std::string s = "BM";
    Put32(s, 54 + std::uint32_t(pixels.size()));
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, std::uint32_t(width));
    Put32(s, std::uint32_t(height));
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);
    Put32(s, std::uint32_t(pixels.size()));
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    return s + pixels;
}

bool Decode(const std::string& bytes, platform::Image& image)
{
    return platform::DecodePictureBytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size(), image);
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
        std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
        std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

TEST(PictureDecoding, EachFormatByItsContentWhateverTheName)
{
    TempFolder folder;
    const platform::Image four = FourColours();
    ASSERT_TRUE(platform::WritePng(four, folder.Path("png-named.JPG")));
    std::string jpeg;
    platform::Image big;
    big.Create(64, 48);
    big.Fill(platform::ArgbFromColor(RGB(200, 40, 40)));
    ASSERT_TRUE(platform::EncodeJpeg(big, 95, jpeg));
    folder.Write("jpeg-named.bmp", jpeg);
    folder.Write("bmp-named.png", FourColourBmp());

    platform::Image image;
    ASSERT_TRUE(platform::DecodePicture(folder.Path("png-named.JPG"), image));
    EXPECT_EQ(image.Width(), 2);
    EXPECT_EQ(image.PixelColor(1, 0), kGreen);
    EXPECT_EQ(image.PixelColor(0, 1), kBlue);
    EXPECT_EQ(image.Pixel(0, 0) >> 24, 0xFFu);

    ASSERT_TRUE(platform::DecodePicture(folder.Path("jpeg-named.bmp"), image));
    EXPECT_EQ(image.Width(), 64);
    EXPECT_EQ(image.Height(), 48);
    EXPECT_TRUE(Near(image.PixelColor(10, 10), RGB(200, 40, 40), 4));
    EXPECT_EQ(image.Pixel(10, 10) >> 24, 0xFFu);

    ASSERT_TRUE(platform::DecodePicture(folder.Path("bmp-named.png"), image));
    EXPECT_EQ(image.PixelColor(0, 0), kRed);  // bottom-up rows come out top-down
    EXPECT_EQ(image.PixelColor(1, 0), kGreen);
    EXPECT_EQ(image.PixelColor(0, 1), kBlue);
    EXPECT_EQ(image.PixelColor(1, 1), kWhite);

    // Some writers leave out the last row's padding.
    const std::string bmp = FourColourBmp();
    ASSERT_TRUE(Decode(bmp.substr(0, bmp.size() - 2), image));
    EXPECT_EQ(image.PixelColor(1, 0), kGreen);
}

TEST(PictureDecoding, PngAlphaIsPremultipliedAndWrittenBackStraight)
{
    TempFolder folder;
    platform::Image half;
    half.Create(1, 1);
    half.Pixels()[0] = 0x80800000;  // red at half alpha, premultiplied
    ASSERT_TRUE(platform::WritePng(half, folder.Path("half.png")));
    platform::Image back;
    ASSERT_TRUE(platform::DecodePicture(folder.Path("half.png"), back));
    EXPECT_EQ(back.Pixel(0, 0), 0x80800000u);
}

TEST(PictureDecoding, BrokenFilesAreRefusedWithoutCrashing)
{
    std::string png;
    {
        TempFolder folder;
        ASSERT_TRUE(platform::WritePng(FourColours(), folder.Path("p.png")));
        png = folder.Read("p.png");
    }
    std::string jpeg;
    platform::Image big;
    big.Create(32, 32);
    ASSERT_TRUE(platform::EncodeJpeg(big, 80, jpeg));
    // A PNG header claiming 100000 x 100000 pixels (the CRC does not match either).
    std::string hugePng = png;
    hugePng.replace(16, 8, std::string("\x00\x01\x86\xA0\x00\x01\x86\xA0", 8));

    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        { "empty", "" },
        { "text", "Detta är ingen bild.\n" },
        { "jpeg signature only", std::string("\xFF\xD8\xFF", 3) },
        { "jpeg header cut", jpeg.substr(0, 20) },
        { "png signature only", png.substr(0, 8) },
        { "png cut in its data", png.substr(0, png.size() - 20) },
        { "png claiming a huge size", hugePng },
        { "bmp signature only", "BM" },
        { "bmp header cut", FourColourBmp().substr(0, 30) },
        { "bmp cut in its rows", FourColourBmp().substr(0, FourColourBmp().size() - 6) },
        { "bmp claiming a huge size", FourColourBmp(100000, 100000) },
        { "bmp with negative width", FourColourBmp(-2, 2) },
        { "bmp with zero height", FourColourBmp(2, 0) },
    };
    for (const auto& c : cases) {
        platform::Image image;
        EXPECT_FALSE(Decode(c.bytes, image)) << c.name;
        EXPECT_FALSE(image.IsValid()) << c.name;
    }
    platform::Image image;
    EXPECT_FALSE(platform::DecodePicture(L"/nonexistent/picture.jpg", image));
}

TEST(PictureDecoding, ATruncatedJpegStillGivesAPicture)
{
    // libjpeg fills what is missing; a cut-off photo shows its top part.
    platform::Image big;
    big.Create(256, 256);
    for (int i = 0; i < 256 * 256; ++i)
        big.Pixels()[i] = 0xFF000000u | std::uint32_t(i * 2654435761u >> 8);
    std::string jpeg;
    ASSERT_TRUE(platform::EncodeJpeg(big, 90, jpeg));
    platform::Image image;
    EXPECT_TRUE(Decode(jpeg.substr(0, jpeg.size() / 2), image));
    EXPECT_EQ(image.Width(), 256);
}

TEST(StretchCopy, NearestNeighbourWithoutSmoothing)
{
    const platform::Image four = FourColours();
    platform::Image dest = WhiteImage(10, 10);
    platform::StretchCopy(four, RECT{ 0, 0, 2, 2 }, dest, RECT{ 2, 2, 6, 6 });
    EXPECT_EQ(dest.PixelColor(2, 2), kRed);
    EXPECT_EQ(dest.PixelColor(3, 3), kRed);
    EXPECT_EQ(dest.PixelColor(4, 3), kGreen);
    EXPECT_EQ(dest.PixelColor(5, 5), kWhite);
    EXPECT_EQ(dest.PixelColor(2, 4), kBlue);
    EXPECT_EQ(InkBounds(dest, kWhite), (RECT{ 2, 2, 6, 6 }));
    EXPECT_EQ(dest.PixelColor(6, 6), kWhite);

    // A source rectangle outside the source copies nothing; a destination past the edges
    // is cut.
    platform::Image untouched = WhiteImage(10, 10);
    platform::StretchCopy(four, RECT{ 1, 1, 3, 3 }, untouched, RECT{ 0, 0, 4, 4 });
    EXPECT_EQ(InkBounds(untouched, kWhite), RECT{});
    platform::StretchCopy(four, RECT{ 0, 0, 2, 2 }, untouched, RECT{ 8, 8, 12, 12 });
    EXPECT_EQ(untouched.PixelColor(9, 9), kRed);
}

TEST(PictureSurface, LoadsAtFullSizeOrReportsFailure)
{
    fake::ResetWindow(1024, 768);
    TempFolder folder;
    platform::Image photo;
    photo.Create(300, 401);
    photo.Fill(platform::ArgbFromColor(kGreen));
    ASSERT_TRUE(platform::WritePng(photo, folder.Path("00001.png")));
    folder.Write("00002.jpg", "not a picture");

    bool ok = false;
    CTQSurface picture(folder.Path("00001.PNG"), ok);  // names match without regard to case
    EXPECT_TRUE(ok);
    EXPECT_EQ(picture.GetSurfaceSize(), (SIZE{ 300, 401 }));
    EXPECT_EQ(picture.GetKind(), TQSURFACE_PICTURE);
    EXPECT_EQ(picture.GetImage()->PixelColor(299, 400), kGreen);

    for (const char* name : { "00002.jpg", "missing.jpg" }) {
        ok = true;
        CTQSurface broken(folder.Path(name), ok);
        EXPECT_FALSE(ok) << name;
        EXPECT_EQ(broken.GetImage(), nullptr) << name;
    }
}

}  // namespace
