// Pictures larger than the screen: decoded reduced to the smallest size that still covers
// it, and a picture that cannot get its memory failing alone, with a trace line, instead of
// ending the board. Pixel buffers are reused between images.
#include "platform/files.h"
#include "platform/pixels.h"

#include "tests/foundation/temp_folder.h"
#include "tests/graphics/pixel_helpers.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr SIZE kFullHd{ 1920, 1080 };

std::string EncodedJpeg(const platform::Image& image)
{
    std::string jpeg;
    EXPECT_TRUE(platform::EncodeJpeg(image, 90, jpeg));
    return jpeg;
}

// A small JPEG whose frame header claims width x height: libjpeg fills the missing data,
// so it stands in for a photo far too large to make in a test.
std::string JpegClaiming(int width, int height)
{
    platform::Image small;
    small.Create(16, 16);
    small.Fill(platform::ArgbFromColor(kGreen));
    std::string jpeg = EncodedJpeg(small);
    const std::size_t frame = jpeg.find("\xFF\xC0", 2);
    EXPECT_NE(frame, std::string::npos);
    // FF C0, length (2), precision (1), height (2), width (2), big-endian.
    jpeg[frame + 5] = char(height >> 8);
    jpeg[frame + 6] = char(height & 0xFF);
    jpeg[frame + 7] = char(width >> 8);
    jpeg[frame + 8] = char(width & 0xFF);
    return jpeg;
}

// The picture's left half red and right half blue.
platform::Image RedThenBlue(int width, int height)
{
    platform::Image image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.Pixels()[y * width + x] = platform::ArgbFromColor(x < width / 2 ? kRed : kBlue);
    return image;
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
        std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
        std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

bool Decode(const std::string& bytes, platform::Image& image, SIZE cover)
{
    return platform::DecodePictureBytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size(), image, cover);
}

// Trace lines written while it lives.
class TraceLines {
public:
    TraceLines()
    {
        platform::SetTraceCapture([this](const std::wstring& line) { text += line; });
    }
    ~TraceLines() { platform::SetTraceCapture(nullptr); }
    std::wstring text;
};

TEST(LargePictures, ReducedAsFarAsTheyStillCoverTheScreen)
{
    struct Case {
        int width, height;
        SIZE cover;
        int jpegScale;  // out of 8
        int reduction;  // other formats: 1 / reduction
    };
    const Case cases[] = {
        { 8000, 6000, kFullHd, 2, 4 },   // 48 Mpx: 2000 x 1500 either way
        { 12000, 9000, kFullHd, 2, 6 },  // 108 Mpx: 3000 x 2250 / 2000 x 1500
        { 6000, 8000, kFullHd, 3, 3 },   // portrait: the width decides
        { 3840, 2160, kFullHd, 4, 2 },   // exactly twice the screen
        { 2000, 1200, kFullHd, 8, 1 },   // larger, but no smaller scale covers
        { 1920, 1080, kFullHd, 8, 1 },   // the screen's own size
        { 1024, 768, kFullHd, 8, 1 },    // smaller than the screen
        { 16000, 800, kFullHd, 8, 1 },   // a panorama lower than the screen
        { 8000, 6000, SIZE{}, 8, 1 },    // no screen known: full size
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::JpegScaleToCover(c.width, c.height, c.cover), c.jpegScale)
            << c.width << "x" << c.height;
        EXPECT_EQ(platform::ReductionToCover(c.width, c.height, c.cover), c.reduction)
            << c.width << "x" << c.height;
    }
}

TEST(LargePictures, JpegDecodedReducedKeepsItsPicture)
{
    const std::string jpeg = EncodedJpeg(RedThenBlue(1600, 1200));
    platform::Image image;
    ASSERT_TRUE(Decode(jpeg, image, SIZE{ 320, 240 }));
    EXPECT_EQ(image.Width(), 400);  // 2/8: 1/8 would be 200 x 150, smaller than the cover
    EXPECT_EQ(image.Height(), 300);
    EXPECT_TRUE(Near(image.PixelColor(50, 150), kRed, 8));
    EXPECT_TRUE(Near(image.PixelColor(350, 150), kBlue, 8));

    ASSERT_TRUE(Decode(jpeg, image, SIZE{}));
    EXPECT_EQ(image.Width(), 1600);
}

TEST(LargePictures, PhotoBeyondTheFullSizeLimitShowsReduced)
{
    // 16000 x 12000 is 192 Mpx, three times what may be held at full size.
    platform::Image image;
    EXPECT_FALSE(Decode(JpegClaiming(16000, 12000), image, SIZE{}));
    ASSERT_TRUE(Decode(JpegClaiming(16000, 12000), image, kFullHd));
    EXPECT_EQ(image.Width(), 2000);
    EXPECT_EQ(image.Height(), 1500);
}

TEST(LargePictures, PngReducedByAveragingBlocks)
{
    // Stripes three pixels wide, reduced by three: each block is one stripe, so every
    // reduced pixel keeps its stripe's colour exactly; a half-transparent row averages.
    platform::Image stripes;
    stripes.Create(600, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 600; ++x)
            stripes.Pixels()[y * 600 + x] = platform::ArgbFromColor((x / 3) % 2 ? kBlue : kRed);
    for (int x = 0; x < 600; ++x)
        stripes.Pixels()[x] = 0;  // the top row transparent
    TempFolder folder;
    ASSERT_TRUE(platform::WritePng(stripes, folder.Path("stripes.png")));

    platform::Image image;
    ASSERT_TRUE(platform::DecodePicture(folder.Path("stripes.png"), image, SIZE{ 200, 100 }));
    EXPECT_EQ(image.Width(), 200);
    EXPECT_EQ(image.Height(), 133);  // 400 / 3, the last row left out
    EXPECT_EQ(image.Pixel(0, 5), platform::ArgbFromColor(kRed));
    EXPECT_EQ(image.Pixel(1, 5), platform::ArgbFromColor(kBlue));
    // Top block row: one transparent row of three, premultiplied: alpha and red 2/3.
    EXPECT_EQ(image.Pixel(0, 0), 0xAAAA0000u);
}

TEST(LargePictures, PictureWithoutMemoryFailsAloneWithATraceLine)
{
    TempFolder folder;
    ASSERT_TRUE(platform::WritePng(RedThenBlue(400, 300), folder.Path("big.png")));
    TraceLines trace;
    platform::SetPixelMemoryLimit(platform::PixelMemoryInUse() + 100 * 1024);
    platform::Image image;
    const bool decoded = platform::DecodePicture(folder.Path("big.png"), image);
    platform::Image small;
    const bool smallDecoded =
        platform::DecodePicture(folder.Path("big.png"), small, SIZE{ 100, 75 });
    platform::SetPixelMemoryLimit(0);

    EXPECT_FALSE(decoded);
    EXPECT_FALSE(image.IsValid());
    EXPECT_NE(trace.text.find(folder.Path("big.png") + L"' cannot be shown: out of memory"),
              std::wstring::npos)
        << platform::ToUtf8(trace.text);
    // The limit was for the full size (480 KB); the reduced copy is made after it, so the
    // PNG fails too. A JPEG reduced while decoding needs only the reduced size.
    EXPECT_FALSE(smallDecoded);
    ASSERT_TRUE(platform::DecodePicture(folder.Path("big.png"), image));
    EXPECT_EQ(image.Width(), 400);

    trace.text.clear();
    folder.Write("broken.jpg", std::string("\xFF\xD8\xFF\xE0 no more", 11));
    EXPECT_FALSE(platform::DecodePicture(folder.Path("broken.jpg"), image));
    EXPECT_NE(trace.text.find(L"broken.jpg' cannot be shown: the picture is damaged"),
              std::wstring::npos);
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST(LargePictures, RunningOutOfAddressSpaceIsNotTheEnd)
{
    // A real shortage: the process may grow by 64 MB only, and the picture wants 256 MB.
    TempFolder folder;
    folder.Write("huge.jpg", JpegClaiming(8000, 8000));
    EXPECT_EXIT(
        {
            rlimit limit{};
            getrlimit(RLIMIT_AS, &limit);
            std::FILE* status = std::fopen("/proc/self/statm", "r");
            unsigned long pages = 0;
            if (!status || std::fscanf(status, "%lu", &pages) != 1)
                std::exit(2);
            std::fclose(status);
            limit.rlim_cur = pages * 4096 + 64ul * 1024 * 1024;
            setrlimit(RLIMIT_AS, &limit);
            platform::Image image;
            const bool decoded = platform::DecodePicture(folder.Path("huge.jpg"), image);
            std::exit(decoded ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}
#endif

TEST(PixelBuffers, AReusedBufferIsClearedByCreateAndOverwrittenByDecoding)
{
    // Large enough to go through the pool: the second image gets the first one's memory.
    platform::Image first;
    ASSERT_TRUE(first.Create(640, 480));
    first.Fill(0xFFFFFFFFu);
    first.Reset();
    platform::Image second;
    ASSERT_TRUE(second.Create(640, 480));
    EXPECT_EQ(second.Pixel(0, 0), 0u);
    EXPECT_EQ(second.Pixel(639, 479), 0u);

    // A transparent PNG decoded into a recycled buffer: no old pixel shows through.
    platform::Image clear;
    clear.Create(640, 480);
    TempFolder folder;
    ASSERT_TRUE(platform::WritePng(clear, folder.Path("clear.png")));
    second.Fill(0xFFFFFFFFu);
    second.Reset();
    platform::Image decoded;
    ASSERT_TRUE(platform::DecodePicture(folder.Path("clear.png"), decoded));
    EXPECT_EQ(decoded.Pixel(320, 240), 0u);

    // Copies are deep.
    platform::Image copy = decoded;
    copy.Fill(0xFF000000u);
    EXPECT_EQ(decoded.Pixel(0, 0), 0u);
}

TEST(PixelBuffers, GivingThePoolBackLeavesImagesInUseWhole)
{
    platform::Image kept;
    ASSERT_TRUE(kept.Create(640, 480));
    kept.Fill(0xFF123456u);
    {
        platform::Image freed;
        ASSERT_TRUE(freed.Create(600, 400));
    }
    EXPECT_GE(platform::PooledPixelBytes(), std::size_t(600 * 400 * 4));
    const std::size_t inUse = platform::PixelMemoryInUse();

    platform::ReleasePooledPixels();
    EXPECT_EQ(platform::PooledPixelBytes(), 0u);
    EXPECT_EQ(platform::PixelMemoryInUse(), inUse);
    EXPECT_EQ(kept.Pixel(0, 0), 0xFF123456u);
    EXPECT_EQ(kept.Pixel(639, 479), 0xFF123456u);

    // The pool works on as before: a new image, given back, waits there again.
    platform::Image next;
    ASSERT_TRUE(next.Create(600, 400));
    EXPECT_EQ(next.Pixel(599, 399), 0u);
    next.Reset();
    EXPECT_GE(platform::PooledPixelBytes(), std::size_t(600 * 400 * 4));
}

}  // namespace
