// Decodes arbitrary bytes as a picture; then stretches and draws on the result so that
// a decoded size that does not match its pixels would show.
#include "platform/pixels.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int width = 0;
    int height = 0;
    const bool sized = platform::PictureSizeBytes(data, size, width, height);
    platform::Image image;
    if (!platform::DecodePictureBytes(data, size, image))
        return 0;
    // Whatever decodes has a header that tells its size (a decoded JPEG may be reduced).
    const bool bmp = data[0] == 'B';
    if (!bmp && (!sized || width < image.Width() || height < image.Height()))
        __builtin_trap();
    platform::Image page;
    page.Create(64, 48);
    platform::StretchCopy(image, RECT{ 0, 0, image.Width(), image.Height() }, page,
                          RECT{ 0, 0, 64, 48 });
    volatile std::uint32_t last = image.Pixel(image.Width() - 1, image.Height() - 1);
    (void)last;
    return 0;
}
