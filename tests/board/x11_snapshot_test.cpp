// "orlido --snapshot" on a virtual X server: the PNG it writes is the page the board shows
// on the screen, at the size asked for, and a bad request ends at once with one line and no
// file.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "platform/pixels.h"
#include "tests/x11/harness.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace x11test;
namespace fs = std::filesystem;

const std::string kDemo = SourceDir() + "/demo";
// The demo's first page: the background colour of each picture.
const std::uint32_t kFirstPage[8] = { 0xFFE7C2, 0xD6F0FF, 0xDFF7D4, 0xF3E0FF,
                                      0xE6F5E1, 0xFFF6C8, 0xE0F7F7, 0xFFE0E0 };

class SnapshotOnX11 : public BoardFixture {
protected:
    SnapshotOnX11() : BoardFixture(XErrors::Fail) { }

    // Runs "orlido --snapshot OUT" with these further arguments; its exit status.
    int Snapshot(const fs::path& output, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), { "--snapshot", output.string() });
        BoardProcess snapshot;
        EXPECT_TRUE(snapshot.Start(m_workingDirectory, arguments)) << "fork failed";
        return snapshot.WaitForExit(std::chrono::seconds(20));
    }

    std::string Stderr() const
    {
        std::ifstream in(m_workingDirectory / BoardProcess::kStderr);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }

    static platform::Image Decode(const fs::path& file)
    {
        platform::Image image;
        EXPECT_TRUE(platform::DecodePicture(file.wstring(), image)) << file;
        return image;
    }
};

TEST_F(SnapshotOnX11, SnapshotIsThePageTheBoardShows)
{
    const fs::path output = m_workingDirectory / "page.png";
    ASSERT_EQ(Snapshot(output, { "--content", kDemo }), 0) << Stderr();
    const platform::Image snapshot = Decode(output);
    ASSERT_EQ(snapshot.Width(), m_width);
    ASSERT_EQ(snapshot.Height(), m_height);

    StartBoard("demo", kDemo);
    const PageGeometry page(m_width, m_height);
    for (int k = 0; k < 8; ++k)
        ASSERT_TRUE(PixelBecomes(page.InsideX(k), page.InsideY(k), kFirstPage[k], 8, 10000))
            << "picture " << k + 1;
    const std::vector<std::uint32_t> screen = Grab(m_display, 0, 0, m_width, m_height);
    ASSERT_EQ(screen.size(), static_cast<std::size_t>(m_width) * m_height);
    // Every pixel, captions and answer bar included: the same drawing code at the same size.
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            const std::uint32_t shown = screen[static_cast<std::size_t>(y) * m_width + x];
            const std::uint32_t written = snapshot.Pixel(x, y) & 0xFFFFFF;
            ASSERT_TRUE(Near(shown, written, 8)) << "at " << x << "," << y << std::hex
                                                 << ": screen " << shown << ", PNG " << written;
        }
}

TEST_F(SnapshotOnX11, SubPageAtAHalfSize)
{
    const fs::path output = m_workingDirectory / "half.png";
    const std::string size = std::to_string(m_width / 2) + "x" + std::to_string(m_height / 2);
    const fs::path start = m_workingDirectory / "start.png";
    ASSERT_EQ(Snapshot(output, { "--content", kDemo, "--page", "L00001/L00002", "--size", size }),
              0)
        << Stderr();
    ASSERT_EQ(Snapshot(start, { "--content", kDemo, "--size", size }), 0) << Stderr();
    const platform::Image sub = Decode(output);
    const platform::Image first = Decode(start);
    EXPECT_EQ(sub.Width(), m_width / 2);
    EXPECT_EQ(sub.Height(), m_height / 2);
    // The start page's pictures stand where the full-size page has them, halved; the
    // sub-page is another page.
    const PageGeometry page(m_width, m_height);
    int differing = 0;
    for (int k = 0; k < 8; ++k) {
        const int x = page.InsideX(k) / 2;
        const int y = page.InsideY(k) / 2;
        EXPECT_TRUE(Near(first.Pixel(x, y) & 0xFFFFFF, kFirstPage[k], 8)) << "picture " << k + 1;
        differing += (sub.Pixel(x, y) & 0xFFFFFF) != (first.Pixel(x, y) & 0xFFFFFF);
    }
    EXPECT_GT(differing, 0) << "the sub-page looks like the start page";
}

TEST_F(SnapshotOnX11, BadRequestEndsWithOneLineAndNoFile)
{
    const struct {
        const char* what;
        std::vector<std::string> arguments;
    } cases[] = {
        { "missing content folder", { "--content", "/nonexistent/orlido" } },
        { "missing page", { "--content", kDemo, "--page", "L00001/L00009" } },
        { "no page name", { "--content", kDemo, "--page", "L00001/Bilder" } },
        { "bad size", { "--content", kDemo, "--size", "0x100" } },
        { "unknown argument", { "--content", kDemo, "--fullscreen" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path output = m_workingDirectory / "bad.png";
        const int status = Snapshot(output, c.arguments);
        EXPECT_GT(status, 0);
        const std::string err = Stderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_FALSE(fs::exists(output));
        EXPECT_FALSE(fs::exists(output.string() + ".part"));
    }
}

}  // namespace
