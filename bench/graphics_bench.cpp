// Page composition and picture decoding, measured.
//
// ComposeAndPresent: eight 1024x768 pictures, already decoded into picture surfaces, are
// cut to their centred squares and stretched into a back buffer of the window's size,
// framed, and the back buffer is presented: what the board does on every redraw. Built
// twice: on the fake window (composition plus the copy into an in-memory screen) and on
// the X server ($DISPLAY; the copy to a real window through MIT-SHM or XPutImage).
// ComposeFirstDraw: the same after every picture's pixels changed (as after a page build),
// so that each picture is stretched afresh instead of copied from its last stretch.
// DecodeJpeg: one photo-like JPEG of 1024x768 or 4000x3000 decoded from memory, as every
// picture is once when its page is built.
// BuildPage: the buttons of a page of eight 1024x768 JPEG files with captions, made by the
// panel; argument 0 decodes the pictures one after another on this thread (one AddButton
// per picture), 1 lets the panel decode them side by side (AddButtonsFromFolder). Wall
// time, since the work is spread over threads.
// PageBuildVsOneCoreDecode: in one run, the board's page build (the panel, every core,
// reduced decoding, captions) against libjpeg-turbo decoding the same eight files on one
// thread into one reused buffer, the least a decoder can do. Reports the ratio.
#include "superlibraries/tqdirectdraw_obsolete/tqsurface.h"
#include "superlibraries/tqstandard/tqstandard_wm.h"
#include "windowsmobilelibraries/tqgraphics/tqimagebuttonpanel.h"

#include "platform/files.h"
#include "platform/pixels.h"
#include "platform/window.h"
#ifdef ORLIDO_BENCH_FAKE
#include "platform/fake/fake_window.h"
#endif

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <jpeglib.h>

#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kPageBackground = RGB(225, 225, 255);
constexpr COLORREF kFrameGrey = RGB(0x5A, 0x5A, 0x5A);

// Smooth gradients with a little noise: compresses and decodes like a photograph.
platform::Image PhotoLike(int width, int height, std::uint32_t seed)
{
    platform::Image image;
    image.Create(width, height);
    std::uint32_t noise = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = image.Pixels() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const std::uint32_t n = (noise >> 27);
            const std::uint32_t r = (x * 255 / width + n) & 0xFF;
            const std::uint32_t g = (y * 255 / height + n) & 0xFF;
            const std::uint32_t b = ((x + y) * 127 / (width + height) + seed * 40 + n) & 0xFF;
            row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    return image;
}

// The display, its back buffer and eight picture surfaces for a client area of W x H.
class Page {
public:
    Page(int width, int height)
    {
#ifdef ORLIDO_BENCH_FAKE
        fake::ResetWindow(width, height);
        m_window = platform::CreateMainWindow(L"Orlido bench");
#else
        m_window = platform::CreateMainWindow(L"Orlido bench");
        platform::MoveWindow(m_window, 0, 0, width, height);
        platform::ShowWindow(m_window);
#endif
        bool ok = false;
        m_display = std::make_unique<CTQSurface>(TQSURFACE_DISPLAY, width, height, ok, m_window);
        // Pictures are loaded from files, as a page build does.
        const std::filesystem::path file = std::filesystem::temp_directory_path() /
            ("orlido-bench-" + std::to_string(::getpid()) + ".jpg");
        for (std::uint32_t i = 0; i < 8; ++i) {
            std::string jpeg;
            platform::EncodeJpeg(PhotoLike(1024, 768, i), 90, jpeg);
            std::ofstream(file, std::ios::binary).write(jpeg.data(), std::streamsize(jpeg.size()));
            auto picture = std::make_unique<CTQSurface>(platform::FromUtf8(file.string()), ok);
            if (ok)
                m_pictures.push_back(std::move(picture));
        }
        std::filesystem::remove(file);
        // Four columns and two rows of square pictures, as a full page lays them out.
        m_side = Nearest(height / 2.0 * 0.9) - 40;
        m_gap = (width - 4 * m_side) / 5;
    }
    ~Page()
    {
        m_pictures.clear();
        m_display.reset();
        platform::DestroyWindow(m_window);
    }

    bool Ok() const
    {
        return m_display && CTQSurface::GetBack() && m_display->IsWindowOnScreen() &&
            m_pictures.size() == 8;
    }

    void Compose()
    {
        CTQSurface* back = CTQSurface::GetBack();
        if (back->BeginDraw()) {
            back->Clear(kPageBackground);
            back->EndDraw();
        }
        for (int i = 0; i < 8; ++i) {
            const int x = m_gap + (i % 4) * (m_side + m_gap);
            const int y = 20 + (i / 4) * (m_side + 20);
            back->DrawSurface(m_pictures[std::size_t(i)].get(), x, y, L"Prune", m_side, m_side);
            if (back->BeginDraw()) {
                back->SetWidth(6);
                back->SetColor(kFrameGrey);
                back->Box(x, y, m_side, m_side, 0);
                back->EndDraw();
            }
        }
    }
    bool Present()
    {
        return m_display->Present();
    }
    // Marks every picture's pixels as changed, as drawing a caption into them does.
    void TouchPictures()
    {
        for (auto& picture : m_pictures)
            if (picture->BeginDraw())
                picture->EndDraw();
    }

private:
    HWND m_window = 0;
    std::unique_ptr<CTQSurface> m_display;
    std::vector<std::unique_ptr<CTQSurface>> m_pictures;
    int m_side = 0;
    int m_gap = 0;
};

void ComposeAndPresent(benchmark::State& state)
{
    Page page(int(state.range(0)), int(state.range(1)));
    if (!page.Ok()) {
        state.SkipWithError("the window is not wholly on the screen (screen too small?)");
        return;
    }
    for (auto _ : state) {
        page.Compose();
        benchmark::DoNotOptimize(page.Present());
    }
}
BENCHMARK(ComposeAndPresent)
    ->Args({ 1366, 768 })
    ->Args({ 1920, 1080 })
    ->Unit(benchmark::kMillisecond);

void ComposeOnly(benchmark::State& state)
{
    Page page(int(state.range(0)), int(state.range(1)));
    if (!page.Ok()) {
        state.SkipWithError("the window is not wholly on the screen (screen too small?)");
        return;
    }
    for (auto _ : state)
        page.Compose();
}
BENCHMARK(ComposeOnly)->Args({ 1366, 768 })->Args({ 1920, 1080 })->Unit(benchmark::kMillisecond);

void ComposeFirstDraw(benchmark::State& state)
{
    Page page(int(state.range(0)), int(state.range(1)));
    if (!page.Ok()) {
        state.SkipWithError("the window is not wholly on the screen (screen too small?)");
        return;
    }
    for (auto _ : state) {
        page.TouchPictures();
        page.Compose();
    }
}
BENCHMARK(ComposeFirstDraw)->Args({ 1920, 1080 })->Unit(benchmark::kMillisecond);

void DecodeJpeg(benchmark::State& state)
{
    std::string jpeg;
    if (!platform::EncodeJpeg(PhotoLike(int(state.range(0)), int(state.range(1)), 3), 90, jpeg)) {
        state.SkipWithError("could not make the JPEG");
        return;
    }
    for (auto _ : state) {
        platform::Image image;
        benchmark::DoNotOptimize(platform::DecodePictureBytes(
            reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size(), image));
    }
    state.counters["jpeg_bytes"] = double(jpeg.size());
}
BENCHMARK(DecodeJpeg)->Args({ 1024, 768 })->Args({ 4000, 3000 })->Unit(benchmark::kMillisecond);

// A page folder of eight photo-like 1024x768 JPEG pictures with a caption each, removed
// with everything in it.
class PageFolder {
public:
    PageFolder()
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "orlido-bench-page-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return;
        m_path = pattern;
        for (std::uint32_t i = 1; i <= 8; ++i) {
            std::string jpeg;
            platform::EncodeJpeg(PhotoLike(1024, 768, i), 90, jpeg);
            const std::string stem = m_path + "/B" + platform::ToUtf8(IntToText5(int(i)));
            std::ofstream(stem + "Bild.jpg", std::ios::binary)
                .write(jpeg.data(), std::streamsize(jpeg.size()));
            std::ofstream(stem + "Bild.txt") << "Bild " << i;
        }
    }
    ~PageFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    std::wstring Prefix() const { return platform::FromUtf8(m_path) + L"/B"; }

private:
    std::string m_path;
};

void BuildPage(benchmark::State& state)
{
    // The display makes captions drawable (nothing is drawn while it is not on the screen).
    Page page(1920, 1080);
    const PageFolder folder;
    const bool together = state.range(0) != 0;
    std::vector<std::wstring> paths;
    for (int n = 1;; ++n) {
        std::wstring path;
        std::wstring name;
        if (!FindFirstMatch(folder.Prefix() + IntToText5(n) + L"*.jpg", path, name))
            break;
        paths.push_back(path);
    }
    if (paths.size() != 8) {
        state.SkipWithError("could not write the page folder");
        return;
    }
    for (auto _ : state) {
        CTQImageButtonPanel panel(nullptr);
        panel.SetHighlightWidth(12);
        panel.SetFontHeight(64);
        if (together) {
            panel.AddButtonsFromFolder(folder.Prefix(), 0, 0, 400, 400, L"Prune", false);
        } else {
            for (const std::wstring& path : paths)
                panel.AddButton(path, 0, 0, 400, 400, L"Prune", false);
        }
        benchmark::DoNotOptimize(panel.GetCount());
    }
    state.SetLabel(together ? "side by side" : "one by one");
}
BENCHMARK(BuildPage)->Arg(0)->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Plain libjpeg-turbo on this thread: the file's bytes already in memory, BGRA out into a
// buffer that is reused. False when the file cannot be decoded.
struct PlainJpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
bool DecodeOnOneCore(const std::string& bytes, std::vector<unsigned char>& pixels)
{
    jpeg_decompress_struct info;
    PlainJpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr common) {
        std::longjmp(reinterpret_cast<PlainJpegError*>(common->err)->jump, 1);
    };
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    pixels.resize(std::size_t(info.output_width) * info.output_height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + std::size_t(info.output_scanline) * info.output_width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

void PageBuildVsOneCoreDecode(benchmark::State& state)
{
    Page page(1920, 1080);
    const PageFolder folder;
    std::vector<std::string> files;
    for (int n = 1;; ++n) {
        std::wstring path;
        std::wstring name;
        if (!FindFirstMatch(folder.Prefix() + IntToText5(n) + L"*.jpg", path, name))
            break;
        std::string bytes;
        platform::ReadFileBytes(path, std::size_t(64) << 20, bytes);
        files.push_back(bytes);
    }
    std::vector<unsigned char> pixels;
    {
        // Once before timing: fonts are found and the pixel buffers are made on the first build.
        CTQImageButtonPanel warmUp(nullptr);
        warmUp.SetFontHeight(64);
        warmUp.AddButtonsFromFolder(folder.Prefix(), 0, 0, 400, 400, L"Prune", false);
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration build{};
    Clock::duration decode{};
    for (auto _ : state) {
        const auto start = Clock::now();
        {
            CTQImageButtonPanel panel(nullptr);
            panel.SetFontHeight(64);
            panel.AddButtonsFromFolder(folder.Prefix(), 0, 0, 400, 400, L"Prune", false);
            benchmark::DoNotOptimize(panel.GetCount());
        }
        const auto built = Clock::now();
        for (const std::string& file : files)
            benchmark::DoNotOptimize(DecodeOnOneCore(file, pixels));
        decode += Clock::now() - built;
        build += built - start;
    }
    const double n = double(state.iterations());
    state.counters["page_build_ms"] = std::chrono::duration<double, std::milli>(build).count() / n;
    state.counters["one_core_decode_ms"] =
        std::chrono::duration<double, std::milli>(decode).count() / n;
    state.counters["ratio"] = std::chrono::duration<double>(build).count() /
        std::chrono::duration<double>(decode).count();
}
BENCHMARK(PageBuildVsOneCoreDecode)->UseRealTime()->MinTime(1.0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
