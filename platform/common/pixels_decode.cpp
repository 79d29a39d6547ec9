// Picture decoding (JPEG with libjpeg-turbo, PNG with libpng's simplified API, BMP with
// stb_image), PNG writing and JPEG encoding. The format is taken from the file's first
// bytes. Every decoder checks the size from the header against the image limits before
// it allocates, and turns every decoder error, running out of memory included, into a
// false result with its reason.
#include "platform/pixels.h"

#include "platform/files.h"

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <new>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 32767
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace platform {

namespace {

// Files larger than this are not pictures we can hold anyway.
constexpr long kMaxFileBytes = 256L * 1024 * 1024;
// What libjpeg may allocate for itself. Baseline JPEGs need little; a progressive one keeps
// all its coefficients (two bytes a sample), which for a 108-Mpx photo is about 330 MB.
constexpr long kMaxJpegWorkBytes = 384L * 1024 * 1024;

// Why a picture could not be decoded.
enum class Outcome { Decoded, NotAPicture, Damaged, TooLarge, NoMemory };

const wchar_t* Reason(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Decoded:
        return L"decoded";
    case Outcome::NotAPicture:
        return L"not a JPEG, PNG or BMP picture";
    case Outcome::Damaged:
        return L"the picture is damaged";
    case Outcome::TooLarge:
        return L"the picture is too large";
    case Outcome::NoMemory:
        return L"out of memory";
    }
    return L"";
}

// An image of the size given, pixels undefined; the outcome when there is none.
Outcome AllocateChecked(Image& image, std::int64_t width, std::int64_t height);

bool FitsLimits(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
        width * height <= kMaxImagePixels;
}

std::uint32_t Premultiply(std::uint32_t a, std::uint32_t r, std::uint32_t g, std::uint32_t b)
{
    if (a != 255) {
        r = (r * a + 127) / 255;
        g = (g * a + 127) / 255;
        b = (b * a + 127) / 255;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// ---------------------------------------------------------------- JPEG

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void JpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings (corrupt data that libjpeg can step over) are not worth a trace line each.
void JpegQuiet(j_common_ptr, int)
{
}

// Adobe's CMYK JPEGs store inverted ink values.
void CmykRowToArgb(const JSAMPLE* in, std::uint32_t* out, unsigned width)
{
    for (unsigned i = 0; i < width; ++i, in += 4) {
        const unsigned k = in[3];
        out[i] =
            0xFF000000u | ((in[0] * k / 255) << 16) | ((in[1] * k / 255) << 8) | (in[2] * k / 255);
    }
}

Outcome JpegFailure(const JpegError& error)
{
    const int code = error.manager.msg_code;
    return code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE ? Outcome::NoMemory
                                                                       : Outcome::Damaged;
}

// Only trivially destructible objects live in this frame: libjpeg leaves it by longjmp.
Outcome DecodeJpeg(const unsigned char* data, std::size_t size, Image& image, SIZE cover)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.emit_message = JpegQuiet;
    // volatile: its value must survive the longjmp back here.
    JSAMPLE* volatile cmykRow = nullptr;
    if (setjmp(error.jump)) {
        std::free(cmykRow);
        jpeg_destroy_decompress(&info);
        image.Reset();
        return JpegFailure(error);
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = kMaxJpegWorkBytes;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    // The DCT scaling reduces while decoding: an 8000 x 6000 photo for a 1920 x 1080
    // screen is decoded straight to 2000 x 1500, never held at its full size.
    info.scale_num = unsigned(
        JpegScaleToCover(int(std::min<JDIMENSION>(info.image_width, kMaxImageSide * 8)),
                         int(std::min<JDIMENSION>(info.image_height, kMaxImageSide * 8)), cover));
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    const Outcome allocated = AllocateChecked(image, info.output_width, info.output_height);
    if (allocated != Outcome::Decoded) {
        jpeg_destroy_decompress(&info);
        return allocated;
    }
    jpeg_start_decompress(&info);
    if (cmyk) {
        cmykRow = static_cast<JSAMPLE*>(std::malloc(std::size_t(info.output_width) * 4));
        if (!cmykRow) {
            error.manager.msg_code = JERR_OUT_OF_MEMORY;
            std::longjmp(error.jump, 1);
        }
    }
    while (info.output_scanline < info.output_height) {
        std::uint32_t* out = image.Pixels() + std::size_t(info.output_scanline) * info.output_width;
        JSAMPROW row = cmyk ? cmykRow : reinterpret_cast<JSAMPROW>(out);
        if (jpeg_read_scanlines(&info, &row, 1) != 1)
            break;
        if (cmyk)
            CmykRowToArgb(cmykRow, out, info.output_width);
    }
    std::free(cmykRow);
    cmykRow = nullptr;
    // Fails (back to the setjmp above) when rows are missing: none stays undefined.
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return Outcome::Decoded;
}

// Each pixel of to is the average of a factor x factor block of from (premultiplied
// channels average correctly, alpha with them). Columns and rows left over at the right
// and bottom edges, fewer than factor, are left out.
void ReduceByBlocks(const Image& from, int factor, Image& to)
{
    const int width = to.Width();
    const int height = to.Height();
    const std::uint32_t area = std::uint32_t(factor) * std::uint32_t(factor);
    std::vector<std::uint32_t> sums(std::size_t(width) * 4);
    for (int y = 0; y < height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint32_t* row =
                from.Pixels() + std::size_t(y * factor + dy) * std::size_t(from.Width());
            for (int x = 0; x < width; ++x) {
                std::uint32_t* sum = &sums[std::size_t(x) * 4];
                for (int dx = 0; dx < factor; ++dx) {
                    const std::uint32_t p = row[x * factor + dx];
                    sum[0] += p >> 24;
                    sum[1] += (p >> 16) & 0xFF;
                    sum[2] += (p >> 8) & 0xFF;
                    sum[3] += p & 0xFF;
                }
            }
        }
        std::uint32_t* out = to.Pixels() + std::size_t(y) * std::size_t(width);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t* sum = &sums[std::size_t(x) * 4];
            auto average = [area](std::uint32_t total) { return (total + area / 2) / area; };
            out[x] = average(sum[0]) << 24 | average(sum[1]) << 16 | average(sum[2]) << 8 |
                average(sum[3]);
        }
    }
}

// Reduces a picture decoded at its own size to the smallest that still covers cover.
Outcome ReduceToCover(Image& image, SIZE cover)
{
    const int factor = ReductionToCover(image.Width(), image.Height(), cover);
    if (factor <= 1)
        return Outcome::Decoded;
    Image reduced;
    if (!reduced.Allocate(image.Width() / factor, image.Height() / factor)) {
        image.Reset();
        return Outcome::NoMemory;
    }
    ReduceByBlocks(image, factor, reduced);
    image = std::move(reduced);
    return Outcome::Decoded;
}

// ---------------------------------------------------------------- PNG

// Whether every chunk up to IEND lies within the bytes. libpng allocates a chunk's buffer
// from its declared length before it reads it, so a few hundred hostile bytes claiming a
// text chunk of 2 GB would have it allocate and clear that much before it finds the end.
bool ChunksFitInBytes(const unsigned char* data, std::size_t size)
{
    std::size_t at = 8;
    while (at + 8 <= size) {
        const std::uint64_t length = std::uint64_t(data[at]) << 24 |
            std::uint64_t(data[at + 1]) << 16 | std::uint64_t(data[at + 2]) << 8 | data[at + 3];
        if (length > size - at - 8 || size - at - 8 - length < 4)
            return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0)
            return true;
        at += 12 + std::size_t(length);
    }
    return false;
}

Outcome DecodePng(const unsigned char* data, std::size_t size, Image& image, SIZE cover)
{
    if (!ChunksFitInBytes(data, size))
        return Outcome::Damaged;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data, size))
        return Outcome::Damaged;
    png.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB words on a little-endian machine
    const Outcome allocated = AllocateChecked(image, png.width, png.height);
    if (allocated != Outcome::Decoded) {
        png_image_free(&png);
        return allocated;
    }
    if (!png_image_finish_read(&png, nullptr, image.Pixels(), image.StrideBytes(), nullptr)) {
        png_image_free(&png);
        image.Reset();
        return Outcome::Damaged;
    }
    for (std::uint32_t& p : std::span(image.Pixels(), std::size_t(image.Width()) * image.Height()))
        p = Premultiply(p >> 24, (p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    return ReduceToCover(image, cover);
}

// ---------------------------------------------------------------- BMP

std::uint32_t Read16(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8;
}
std::uint32_t Read32(const unsigned char* p)
{
    return Read16(p) | Read16(p + 2) << 16;
}

// An uncompressed BMP must hold all its rows (the last one may lack its padding). stb_image
// would read zeros past the end, so a 200-byte file could claim megapixels of nothing.
bool HoldsItsRows(const unsigned char* data, std::size_t size)
{
    if (size < 30)
        return false;
    const std::uint32_t offset = Read32(data + 10);
    const std::uint32_t headerSize = Read32(data + 14);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bits = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {
        width = Read16(data + 18);
        height = Read16(data + 20);
        bits = Read16(data + 24);
    } else {
        if (size < 34)
            return false;
        width = std::int32_t(Read32(data + 18));
        height = std::int32_t(Read32(data + 22));
        bits = Read16(data + 28);
        compression = Read32(data + 30);
    }
    // stb_image reads run-length BMPs not at all and every other kind as plain rows.
    if (compression == 1 || compression == 2)
        return false;
    if (width <= 0 || height == 0 || bits == 0 || bits > 32)
        return false;
    const std::int64_t rows = height < 0 ? -height : height;
    const std::int64_t rowBytes = (width * bits + 7) / 8;
    const std::int64_t stride = (width * bits + 31) / 32 * 4;
    return std::int64_t(offset) + stride * (rows - 1) + rowBytes <= std::int64_t(size);
}

Outcome DecodeBmp(const unsigned char* data, std::size_t size, Image& image, SIZE cover)
{
    if (size > std::size_t(INT32_MAX) || !HoldsItsRows(data, size))
        return Outcome::Damaged;
    int width = 0;
    int height = 0;
    int channels = 0;
    if (!stbi_info_from_memory(data, int(size), &width, &height, &channels))
        return Outcome::Damaged;
    if (!FitsLimits(width, height))
        return Outcome::TooLarge;
    stbi_uc* rgba = stbi_load_from_memory(data, int(size), &width, &height, &channels, 4);
    if (!rgba)
        return Outcome::Damaged;
    const Outcome allocated = AllocateChecked(image, width, height);
    if (allocated == Outcome::Decoded) {
        const std::size_t count = std::size_t(width) * std::size_t(height);
        std::uint32_t* out = image.Pixels();
        for (std::size_t i = 0; i < count; ++i) {
            const stbi_uc* p = rgba + i * 4;
            out[i] = Premultiply(p[3], p[0], p[1], p[2]);
        }
    }
    stbi_image_free(rgba);
    return allocated == Outcome::Decoded ? ReduceToCover(image, cover) : allocated;
}

Outcome AllocateChecked(Image& image, std::int64_t width, std::int64_t height)
{
    if (!FitsLimits(width, height)) {
        image.Reset();
        return Outcome::TooLarge;
    }
    return image.Allocate(int(width), int(height)) ? Outcome::Decoded : Outcome::NoMemory;
}

Outcome DecodeBytes(const unsigned char* data, std::size_t size, Image& image, SIZE cover)
{
    image.Reset();
    if (!data || size < 4)
        return Outcome::NotAPicture;
    if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return DecodeJpeg(data, size, image, cover);
    static const unsigned char kPngSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0)
        return DecodePng(data, size, image, cover);
    if (data[0] == 'B' && data[1] == 'M')
        return DecodeBmp(data, size, image, cover);
    return Outcome::NotAPicture;
}

// The file's bytes; false when it cannot be read whole (or is too large to be a picture).
bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes, Outcome& why)
{
    std::FILE* file = OpenFile(path, "rb");
    if (!file)
        return false;
    bool readOk = std::fseek(file, 0, SEEK_END) == 0;
    const long length = readOk ? std::ftell(file) : -1;
    if (length > kMaxFileBytes)
        why = Outcome::TooLarge;
    readOk = readOk && length > 0 && length <= kMaxFileBytes && std::fseek(file, 0, SEEK_SET) == 0;
    if (readOk) {
        try {
            bytes.resize(std::size_t(length));
            readOk = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
        } catch (const std::bad_alloc&) {
            why = Outcome::NoMemory;
            readOk = false;
        }
    }
    std::fclose(file);
    return readOk;
}

}  // namespace

int JpegScaleToCover(int width, int height, SIZE cover)
{
    if (cover.cx <= 0 || cover.cy <= 0)
        return 8;
    for (int scale = 1; scale < 8; ++scale) {
        // libjpeg rounds the scaled size up.
        const std::int64_t scaledWidth = (std::int64_t(width) * scale + 7) / 8;
        const std::int64_t scaledHeight = (std::int64_t(height) * scale + 7) / 8;
        if (scaledWidth >= cover.cx && scaledHeight >= cover.cy)
            return scale;
    }
    return 8;
}

int ReductionToCover(int width, int height, SIZE cover)
{
    if (cover.cx <= 0 || cover.cy <= 0)
        return 1;
    return std::max(1, std::min(width / cover.cx, height / cover.cy));
}

bool DecodePictureBytes(const unsigned char* data, std::size_t size, Image& image, SIZE cover)
{
    return DecodeBytes(data, size, image, cover) == Outcome::Decoded;
}

bool DecodePicture(const std::wstring& path, Image& image, SIZE cover)
{
    image.Reset();
    std::vector<unsigned char> bytes;
    Outcome outcome = Outcome::Damaged;
    if (!ReadWholeFile(path, bytes, outcome)) {
        if (outcome != Outcome::Damaged)
            TraceF(L"Picture '%ls' cannot be shown: %ls\n", path.c_str(), Reason(outcome));
        return false;
    }
    try {
        outcome = DecodeBytes(bytes.data(), bytes.size(), image, cover);
    } catch (const std::bad_alloc&) {
        image.Reset();
        outcome = Outcome::NoMemory;
    }
    if (outcome != Outcome::Decoded)
        TraceF(L"Picture '%ls' cannot be shown: %ls\n", path.c_str(), Reason(outcome));
    return outcome == Outcome::Decoded;
}

namespace {

// Only trivially destructible objects live in this frame: libjpeg leaves it by longjmp.
bool JpegSize(const unsigned char* data, std::size_t size, int& width, int& height)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    error.manager.emit_message = JpegQuiet;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    width = int(std::min<JDIMENSION>(info.image_width, INT32_MAX));
    height = int(std::min<JDIMENSION>(info.image_height, INT32_MAX));
    jpeg_destroy_decompress(&info);
    return width > 0 && height > 0;
}

std::uint32_t ReadBig32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

}  // namespace

bool PictureSizeBytes(const unsigned char* data, std::size_t size, int& width, int& height)
{
    width = height = 0;
    if (!data || size < 4)
        return false;
    if (data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
        return JpegSize(data, size, width, height);
    static const unsigned char kPngSignature[8] = { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A };
    if (size >= 24 && std::memcmp(data, kPngSignature, 8) == 0 &&
        std::memcmp(data + 12, "IHDR", 4) == 0) {
        width = int(std::min<std::uint32_t>(ReadBig32(data + 16), INT32_MAX));
        height = int(std::min<std::uint32_t>(ReadBig32(data + 20), INT32_MAX));
    } else if (size >= 22 && data[0] == 'B' && data[1] == 'M' && Read32(data + 14) == 12) {
        width = int(Read16(data + 18));  // the old OS/2 header: 16-bit sides
        height = int(Read16(data + 20));
    } else if (size >= 26 && data[0] == 'B' && data[1] == 'M') {
        const auto bmpHeight = static_cast<std::int32_t>(Read32(data + 22));
        width = int(std::min<std::uint32_t>(Read32(data + 18), INT32_MAX));
        height = bmpHeight == INT32_MIN ? 0 : std::abs(bmpHeight);
    }
    return width > 0 && height > 0;
}

bool PictureSize(const std::wstring& path, int& width, int& height)
{
    width = height = 0;
    std::FILE* file = OpenFile(path, "rb");
    if (!file)
        return false;
    std::vector<unsigned char> bytes(std::size_t(1) << 20);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return PictureSizeBytes(bytes.data(), bytes.size(), width, height);
}

std::vector<Image> DecodePictures(const std::vector<std::wstring>& paths, SIZE cover,
                                  const std::atomic<bool>* cancel)
{
    std::vector<Image> images(paths.size());
    // Each decoder keeps its state in its own objects (stb_image's error text is per
    // thread), so pictures can be decoded side by side; each worker takes the next one.
    std::atomic<std::size_t> next{ 0 };
    auto work = [&] {
        for (std::size_t i = next++; i < paths.size(); i = next++) {
            if (cancel && cancel->load())
                return;
            DecodePicture(paths[i], images[i], cover);
        }
    };
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min(cores, paths.size()) - (paths.empty() ? 0 : 1);
    std::vector<std::thread> threads;
    threads.reserve(helpers);
    try {
        for (std::size_t i = 0; i < helpers; ++i)
            threads.emplace_back(work);
    } catch (const std::system_error&) {
        // No thread to be had: the ones that started and this one do the rest.
    }
    work();
    for (std::thread& thread : threads)
        thread.join();
    return images;
}

// ---------------------------------------------------------------- Writing

bool WritePng(const Image& image, const std::wstring& path)
{
    if (!image.IsValid())
        return false;
    // PNG keeps straight alpha: undo the premultiplication.
    std::vector<std::uint32_t> straight(
        image.Pixels(), image.Pixels() + std::size_t(image.Width()) * image.Height());
    for (std::uint32_t& p : straight) {
        const std::uint32_t a = p >> 24;
        if (a == 0 || a == 255)
            continue;
        auto un = [a](std::uint32_t c) {
            return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a);
        };
        p = (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
    }
    std::FILE* file = std::fopen(ToUtf8(path).c_str(), "wb");
    if (!file)
        return false;
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.Width());
    png.height = png_uint_32(image.Height());
    png.format = PNG_FORMAT_BGRA;
    const bool ok =
        png_image_write_to_stdio(&png, file, 0, straight.data(), image.StrideBytes(), nullptr) != 0;
    png_image_free(&png);
    const bool closed = std::fclose(file) == 0;
    return ok && closed;
}

namespace {

bool CompressJpeg(const Image& image, int quality, unsigned char** out, unsigned long* outSize)
{
    jpeg_compress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegErrorExit;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = JDIMENSION(image.Width());
    info.image_height = JDIMENSION(image.Height());
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<std::uint32_t*>(
            image.Pixels() + std::size_t(info.next_scanline) * image.Width()));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

bool EncodeJpeg(const Image& image, int quality, std::string& bytes)
{
    bytes.clear();
    if (!image.IsValid())
        return false;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    const bool ok = CompressJpeg(image, quality, &out, &outSize);
    if (ok && out)
        bytes.assign(reinterpret_cast<const char*>(out), outSize);
    std::free(out);
    return ok && !bytes.empty();
}

}  // namespace platform
