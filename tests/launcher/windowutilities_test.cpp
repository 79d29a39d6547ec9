// The task bar and work area, the style names, and the user display window's placements
// on the fake desktop.
#include "platform/desktop.h"
#include "platform/fake/fake_desktop.h"
#include "platform/fake/fake_messageloop.h"
#include "platform/files.h"
#include "superlibraries/tqwindowutilities/tquserdisplaywindow.h"
#include "superlibraries/tqwindowutilities/tqwindowutilities.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

TEST(StyleNames, FollowTheTableInItsOrder)
{
    struct Case {
        DWORD style;
        const wchar_t* names;
    };
    const Case cases[] = {
        { 0, L"" },
        { WS_GROUP, L"Group\nMinimize Box\nOverlapped Window\nTiled Window\n" },
        { WS_SYSMENU, L"Overlapped Window\nPopup Window\nSys Meny\nTiled Window\n" },
        { WS_POPUP, L"Popup\nPopup Window\n" },
        { WS_CHILD | WS_VISIBLE, L"Child\nVisible\n" },
        { WS_BORDER, L"Border\nCaption\nOverlapped Window\nPopup Window\nTiled Window\n" },
        { WS_MINIMIZE, L"Iconic\nMinimize\n" },
        { WS_TABSTOP | WS_THICKFRAME,
          L"MaximizeBox\nOverlapped Window\nSize Box\nTab Stop\nThick Frame\nTiled Window\n" },
        { WS_POPUP | WS_VISIBLE | WS_MAXIMIZE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_DISABLED |
              WS_HSCROLL | WS_VSCROLL,
          L"Clip Children\nClip Siblings\nDisabled\nHScroll\nMaximize\nPopup\nPopup "
          L"Window\nVisible\nVScroll\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetWindowStyleNames(c.style), c.names) << std::hex << c.style;
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake::ResetMessageLoop();
        fake::ResetDesktop();
        platform::SetTraceCapture([this](const std::wstring& text) { m_trace += text; });
    }
    void TearDown() override { platform::SetTraceCapture(nullptr); }

    std::wstring m_trace;
};

TEST_F(Desktop, TaskBarMovesTheWorkAreasBottomEachTime)
{
    fake::SetWorkArea(RECT{ 0, 0, 1024, 728 });
    ShowTaskBar(false);  // no task bar: nothing changes
    EXPECT_EQ(GetWorkArea(), (RECT{ 0, 0, 1024, 728 }));

    // Docked at the top: still the bottom edge moves, by the bar's height.
    const HWND bar = fake::AddTaskBar(RECT{ 0, 0, 1024, 40 });
    ShowTaskBar(false);
    EXPECT_EQ(GetWorkArea(), (RECT{ 0, 0, 1024, 768 }));
    EXPECT_FALSE(fake::GetWindowState(bar).visible);
    ShowTaskBar(false);  // no memory of the state: twice the height
    EXPECT_EQ(GetWorkArea(), (RECT{ 0, 0, 1024, 808 }));
    ShowTaskBar(true);
    ShowTaskBar(true);
    ShowTaskBar(true);  // a show without a hide takes the height off
    EXPECT_EQ(GetWorkArea(), (RECT{ 0, 0, 1024, 688 }));
    EXPECT_TRUE(fake::GetWindowState(bar).visible);
}

TEST_F(Desktop, UserAreaIsAHiddenChildOfTheView)
{
    const HWND view = 0x10001;
    HWND handle = 0;
    {
        CTQUserDisplayWindow area(view, 1024, 600, RGB(225, 225, 255));
        handle = area.GetSafeHwnd();
        const fake::WindowState state = fake::GetWindowState(area.GetSafeHwnd());
        EXPECT_EQ(state.parent, view);
        EXPECT_EQ(state.title, L"UserAreaWnd");
        EXPECT_EQ(state.rect, (RECT{ 0, 0, 1024, 600 }));
        EXPECT_EQ(state.style, WS_CHILD | WS_CLIPCHILDREN);

        // A null window: nothing to place, and the user area is still shown.
        EXPECT_TRUE(area.ShowInUserArea(0, L"Film"));
        EXPECT_TRUE(fake::GetWindowState(area.GetSafeHwnd()).visible);
        EXPECT_TRUE(area.HideUserArea());
        EXPECT_FALSE(fake::GetWindowState(area.GetSafeHwnd()).visible);
    }
    EXPECT_FALSE(fake::GetWindowState(handle).exists);
}

TEST_F(Desktop, AProgramWindowIsAdoptedCentredOrMaximised)
{
    CTQUserDisplayWindow area(0x10001, 1000, 600, RGB(225, 225, 255));
    const HWND area_ = area.GetSafeHwnd();

    // Larger than the user area: centred, overhanging its edges.
    const HWND big =
        fake::AddWindow({ .processId = 9, .title = L"Big", .rect = RECT{ 50, 50, 1250, 850 } });
    EXPECT_TRUE(area.ShowInUserArea(big, L""));
    fake::WindowState state = fake::GetWindowState(big);
    EXPECT_EQ(state.parent, area_);
    EXPECT_EQ(state.rect, (RECT{ 500 - 600, 300 - 400, 500 + 600, 300 + 400 }));
    EXPECT_EQ(state.style, WS_POPUP | WS_VISIBLE);  // frame bits gone
    EXPECT_TRUE(state.onTop);
    EXPECT_TRUE(fake::GetWindowState(area_).visible);
    EXPECT_NE(m_trace.find(L"Popup\nPopup Window\nVisible\n\n"), std::wstring::npos) << m_trace;

    // Maximised when found: WS_MAXIMIZE is written cleared, then it fills the user area.
    const HWND max = fake::AddWindow({ .title = L"Max",
                                       .style = WS_OVERLAPPEDWINDOW | WS_MAXIMIZE | WS_VISIBLE,
                                       .rect = RECT{ 0, 0, 1024, 768 } });
    m_trace.clear();
    EXPECT_TRUE(area.ShowInUserArea(max, L""));
    state = fake::GetWindowState(max);
    EXPECT_EQ(state.parent, area_);
    EXPECT_EQ(state.showCommand, SW_SHOWMAXIMIZED);
    EXPECT_EQ(state.rect, (RECT{ 0, 0, 1000, 600 }));
    EXPECT_EQ(m_trace, L"Maximize\nPopup\nPopup Window\nVisible\n\n");

    EXPECT_TRUE(area.HideUserArea());
    EXPECT_FALSE(fake::GetWindowState(area_).visible);
    EXPECT_EQ(fake::GetWindowState(max).parent, area_);  // not given back
}

TEST_F(Desktop, AFilmIsFittedOverTheUserAreaKeepingItsPlaceAndAspect)
{
    CTQUserDisplayWindow area(0x10001, 1280, 720, RGB(225, 225, 255));
    const HWND film = fake::AddWindow({ .title = L"/films/M00002.wmv",
                                        .style = WS_POPUP | WS_CAPTION,
                                        .rect = RECT{ 0, 0, 660, 500 },
                                        .clientRect = RECT{ 0, 0, 640, 480 } });
    EXPECT_TRUE(area.ShowInUserArea(film, L"Film"));
    const fake::WindowState state = fake::GetWindowState(film);
    EXPECT_EQ(state.parent, 0u);  // not adopted
    EXPECT_EQ(state.style, WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(state.rect, (RECT{ 160, 0, 160 + 960, 720 }));
    EXPECT_TRUE(state.onTop);
}

TEST(FilmFit, KeepsTheAspectAndCentres)
{
    struct Case {
        const char* what;
        RECT area;
        SIZE film;
        RECT placed;
    };
    const Case cases[] = {
        { "fits by height, factor 1.5", { 0, 0, 1280, 720 }, { 640, 480 }, { 160, 0, 1120, 720 } },
        { "fits by width, factor 1.25", { 0, 0, 1000, 500 }, { 800, 200 }, { 0, 125, 1000, 375 } },
        { "same aspect fits by height", { 0, 0, 800, 600 }, { 400, 300 }, { 0, 0, 800, 600 } },
        { "user area away from the origin",
          { 10, 20, 1290, 740 },
          { 640, 480 },
          { 170, 20, 1130, 740 } },
        { "sizes truncated toward zero",
          { 0, 0, 1000, 700 },
          { 300, 301 },
          { 1000 / 2 - 697 / 2, 0, 1000 / 2 - 697 / 2 + 697, 700 } },
        { "no film size", { 0, 0, 100, 100 }, { 0, 0 }, { 0, 0, 0, 0 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTQUserDisplayWindow::FitFilm(c.area, c.film), c.placed) << c.what;
}

}  // namespace
