// The board started from the editor ("Try it", F9) on a virtual X server shows the page the
// carer has just made there.
// gtest first: Xlib's macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "tests/editor/editor_session.h"
#include "tests/x11/harness.h"

#include <csignal>
#include <cstdint>
#include <filesystem>

namespace {

using namespace x11test;
namespace fs = std::filesystem;

constexpr std::uint32_t kBackground = 0xE1E1FF;  // the page's lavender
constexpr std::uint32_t kPicture = 0x3070C0;

class EditorOnX11 : public BoardFixture {
protected:
    EditorOnX11() : BoardFixture(XErrors::Ignore) { }

    void TearDown() override
    {
        if (m_boardPid > 0)
            ::kill(static_cast<pid_t>(m_boardPid), SIGKILL);
        BoardFixture::TearDown();
    }

    long long m_boardPid = 0;
};

TEST_F(EditorOnX11, TheBoardStartedFromTheEditorShowsThePageJustMade)
{
    // A board without pages yet: the demo's common sounds and settings, no UserData pages.
    const fs::path content = m_workingDirectory / "content";
    fs::create_directories(content / "UserData");
    for (const char* file :
         { "Tillbaka.wav", "Nej.wav", "Ja.wav", "JagValde.wav", "WebBrowser.lnk" })
        fs::copy_file(SourceDir() + "/demo/" + file, content / file);
    fs::create_directories(m_workingDirectory / "config");
    fs::copy_file(SourceDir() + "/demo/Setup.txt", m_workingDirectory / "config/Setup.txt");

    EditorSession editor;
    std::string failure;
    m_boardPid = editor.MakePageAndTryIt(
        content.string(), (m_workingDirectory / "config/Setup.txt").string(), BoardBinary(),
        kPicture, SourceDir() + "/demo/Ja.wav", failure);
    ASSERT_GT(m_boardPid, 0) << failure;
    ASSERT_TRUE(WaitFor([&] { return (m_board = FindFullScreenWindow(m_display)) != 0; }, 10000))
        << "the board's window did not appear";

    const PageGeometry page(m_width, m_height);
    EXPECT_TRUE(PixelBecomes(page.InsideX(0), page.InsideY(0), kPicture, 12, 10000))
        << "the new picture shows " << std::hex << Pixel(page.InsideX(0), page.InsideY(0));
    EXPECT_TRUE(Near(Pixel(page.InsideX(1), page.InsideY(1)), kBackground, 0))
        << "a page of one picture";
}

}  // namespace

TEST_F(EditorOnX11, ThePreviewShowsTheBoardsOwnPictureOfThePageAfterEachChange)
{
    const fs::path content = m_workingDirectory / "content";
    fs::copy(SourceDir() + "/demo", content, fs::copy_options::recursive);

    EditorSession editor;
    std::string failure;
    const unsigned shown = editor.PreviewFromTheBoard(
        content.string(), (content / "Setup.txt").string(), BoardBinary(), kPicture, failure);
    ASSERT_NE(shown, 0xFFFFFFFFu) << failure;
    EXPECT_TRUE(Near(shown, kPicture, 12)) << "the new picture shows " << std::hex << shown;
}
