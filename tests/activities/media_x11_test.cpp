// The real media player (libmpv) on an X display: a film opens in a window of its own,
// titled with the film's path and as large as the film, and plays there; music opens
// without a window; what cannot be opened is refused; close takes the window away.
#include "platform/audio.h"

#include "platform/files.h"
#include "platform/messageloop.h"

#include <gtest/gtest.h>
// After gtest: Xlib's macros (None, Bool) clash with its templates.
#include "tests/x11/harness.h"

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace x11test;

const std::wstring kFilm =
    platform::FromUtf8(ORLIDO_DEMO_FOLDER "/UserData/L00001/L00003/M00001.wmv");
const std::wstring kMusic = platform::FromUtf8(ORLIDO_DEMO_FOLDER "/UserData/L00001/M00004.mp3");

class MediaX11Test : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_display = XOpenDisplay(nullptr);
        ASSERT_NE(m_display, nullptr) << "needs an X display";
    }
    void TearDown() override
    {
        platform::mciSendString(L"close myFile");
        if (m_display)
            XCloseDisplay(m_display);
    }

    static int Open(const std::wstring& path)
    {
        return platform::mciSendString(L"open \"" + path + L"\" type mpegvideo alias myFile");
    }

    Window FindTopLevel(const std::wstring& title)
    {
        return x11test::FindTopLevel(m_display, platform::ToUtf8(title));
    }
    std::vector<std::uint32_t> Grab(int x, int y, int width, int height)
    {
        return x11test::Grab(m_display, x, y, width, height);
    }

    Display* m_display = nullptr;
};

TEST_F(MediaX11Test, FilmPlaysInAWindowTitledWithItsPath)
{
    ASSERT_EQ(Open(kFilm), 0);
    const Window film = FindTopLevel(kFilm);
    ASSERT_NE(film, 0u);
    XWindowAttributes attributes{};
    XGetWindowAttributes(m_display, film, &attributes);
    EXPECT_EQ(attributes.width, 320);  // the film's own size
    EXPECT_EQ(attributes.height, 240);
    EXPECT_LT(attributes.x + attributes.width, 0);  // off the screen until it is placed

    // Played, then placed larger elsewhere and shown, as the board does; the film follows
    // its window.
    ASSERT_EQ(platform::mciSendString(L"play myFile"), 0);
    XMoveResizeWindow(m_display, film, 40, 30, 480, 360);
    XMapRaised(m_display, film);
    XSync(m_display, False);

    // The film fills its window (mostly not black) and moves: two looks half a second
    // apart differ.
    const auto mostlyLit = [](const std::vector<std::uint32_t>& pixels) {
        std::size_t dark = 0;
        for (const std::uint32_t p : pixels)
            dark += p == 0 ? 1 : 0;
        return !pixels.empty() && dark < pixels.size() / 2;
    };
    WaitFor([&] { return mostlyLit(Grab(40, 30, 480, 360)); }, 10000);
    const auto first = Grab(40, 30, 480, 360);
    EXPECT_TRUE(mostlyLit(first)) << "no picture in the film's window";
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_NE(first, Grab(40, 30, 480, 360));

    EXPECT_EQ(platform::mciSendString(L"close myFile"), 0);
    XSync(m_display, False);
    EXPECT_EQ(FindTopLevel(kFilm), 0u);
}

// Opening waits for the player in the message loop: the view's paint timer keeps ticking
// while the film is opened, so the board does not freeze meanwhile.
TEST_F(MediaX11Test, ThePaintTimerKeepsTickingWhileAFilmOpens)
{
    constexpr HWND kView = 0x5151;
    std::vector<Clock::time_point> ticks;
    platform::SetWindowProc(kView, [&ticks](const platform::Message& m) {
        if (m.message == WM_TIMER)
            ticks.push_back(Clock::now());
    });
    platform::SetTimer(kView, 1, 10, nullptr);
    const auto asked = Clock::now();
    ASSERT_EQ(Open(kFilm), 0);
    const auto opened = Clock::now();
    platform::KillTimer(kView, 1);
    platform::RemoveWindowProc(kView);
    if (opened - asked < std::chrono::milliseconds(60))
        GTEST_SKIP() << "the film opened too fast to tell";
    EXPECT_FALSE(ticks.empty()) << "the loop was blocked while the film opened";
    for (const auto tick : ticks)
        EXPECT_LT(tick, opened);  // served during the open, not queued for after it
}

TEST_F(MediaX11Test, MusicOpensWithoutAWindow)
{
    ASSERT_EQ(Open(kMusic), 0);
    EXPECT_EQ(FindTopLevel(kMusic), 0u);
    EXPECT_EQ(platform::mciSendString(L"play myFile"), 0);
    EXPECT_EQ(platform::mciSendString(L"close myFile"), 0);
}

TEST_F(MediaX11Test, WhatCannotBeOpenedIsRefused)
{
    const fs::path folder = fs::temp_directory_path() / "orlido-media-x11";
    fs::create_directories(folder);
    std::ofstream(folder / "text.wmv") << "this is no film at all, only a few words of text";
    std::ofstream(folder / "empty.wmv");

    for (const fs::path& file :
         { folder / "text.wmv", folder / "empty.wmv", folder / "missing.wmv" }) {
        SCOPED_TRACE(file.string());
        const std::wstring path = platform::FromUtf8(file.string());
        EXPECT_NE(Open(path), 0);
        EXPECT_EQ(FindTopLevel(path), 0u);
        EXPECT_NE(platform::mciSendString(L"play myFile"), 0);
    }
    fs::remove_all(folder);
}

TEST_F(MediaX11Test, OneFileAtATimePerAlias)
{
    ASSERT_EQ(Open(kFilm), 0);
    EXPECT_NE(Open(kMusic), 0);
    EXPECT_EQ(platform::mciSendString(L"close myFile"), 0);
    EXPECT_NE(platform::mciSendString(L"close myFile"), 0);  // nothing open: harmless
    EXPECT_EQ(Open(kMusic), 0);
}

}  // namespace
