// The real window on the test display (no window manager): full-screen placement, pixels
// presented and read back, mouse and close events as messages, the title.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/messageloop.h"
#include "platform/pixels.h"
#include "platform/window.h"
#include "platform/x11/x11connection.h"
#include "tests/x11/harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

using platform::Message;
using testing::ElementsAre;

namespace {

using Clock = std::chrono::steady_clock;

class X11Window : public testing::Test {
protected:
    void SetUp() override
    {
        display = platform::x11::GetDisplay();
        ASSERT_NE(display, nullptr) << x11test::kNeedsDisplay;
        window = platform::CreateMainWindow(L"Orlido – bilder åäö");
        ASSERT_NE(window, 0u);
        platform::SetWindowProc(window, [this](const Message& m) { messages.push_back(m); });
        platform::ShowFullScreen(window);
    }
    void TearDown() override
    {
        if (window)
            platform::DestroyWindow(window);
    }

    // Serves the loop until a message of this kind arrived (or two seconds passed).
    bool WaitFor(UINT message)
    {
        const auto start = Clock::now();
        const auto seen = [&] {
            for (const Message& m : messages)
                if (m.message == message)
                    return true;
            return false;
        };
        platform::RunModalLoop(
            [&] { return seen() || Clock::now() - start > std::chrono::seconds(2); });
        return seen();
    }

    std::uint32_t PixelAt(int x, int y)
    {
        XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
        if (!image)
            return 0xDEADBEEF;
        const auto pixel = static_cast<std::uint32_t>(XGetPixel(image, 0, 0));
        XDestroyImage(image);
        return pixel & 0x00FFFFFFu;
    }

    Display* display = nullptr;
    HWND window = 0;
    std::vector<Message> messages;
};

TEST_F(X11Window, CoversTheScreenAndPaintsOnceAfterMapping)
{
    EXPECT_EQ(platform::GetClientRect(window),
              (RECT{ 0, 0, platform::GetScreenWidth(), platform::GetScreenHeight() }));
    EXPECT_EQ(platform::ClientToScreen(window, POINT{ 10, 20 }), (POINT{ 10, 20 }));
    ASSERT_TRUE(WaitFor(WM_PAINT));
    messages.clear();
    platform::InvalidateWindow(window);
    platform::InvalidateWindow(window);
    const auto start = Clock::now();
    platform::RunModalLoop(
        [start] { return Clock::now() - start > std::chrono::milliseconds(200); });
    int paints = 0;
    for (const Message& m : messages)
        paints += m.message == WM_PAINT;
    EXPECT_EQ(paints, 1);
}

TEST_F(X11Window, PresentedPixelsReachTheWindowStretchedWithoutSmoothing)
{
    const std::vector<std::uint32_t> pixels = { 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF,
                                                0xFF123456, 0xFF000000, 0xFFFFFF00, 0xFF00FFFF };
    const platform::PixelView view{ pixels.data(), 4, 2, 16 };
    platform::PresentToWindow(window, view, RECT{ 0, 0, 4, 2 }, RECT{ 100, 50, 104, 52 });
    platform::PresentToWindow(window, view, RECT{ 0, 0, 2, 2 },
                              RECT{ 200, 60, 220, 80 });  // 10x stretch
    XSync(display, False);

    EXPECT_EQ(PixelAt(100, 50), 0xFF0000u);
    EXPECT_EQ(PixelAt(103, 50), 0xFFFFFFu);
    EXPECT_EQ(PixelAt(100, 51), 0x123456u);
    EXPECT_EQ(PixelAt(103, 51), 0x00FFFFu);
    EXPECT_EQ(PixelAt(200, 60), 0xFF0000u);
    EXPECT_EQ(PixelAt(209, 69), 0xFF0000u);  // hard edge: no blend between red and green
    EXPECT_EQ(PixelAt(210, 69), 0x00FF00u);
    EXPECT_EQ(PixelAt(219, 70), 0x000000u);
    EXPECT_EQ(PixelAt(200, 79), 0x123456u);

    // A destination partly outside the client area is clipped, not refused.
    platform::PresentToWindow(window, view, RECT{ 0, 0, 4, 2 }, RECT{ -2, -1, 2, 1 });
    XSync(display, False);
    EXPECT_EQ(PixelAt(0, 0), 0xFFFF00u);  // source pixel (2, 1)
    EXPECT_EQ(PixelAt(1, 0), 0x00FFFFu);
}

// The back buffer lives in memory the server reads from: it starts transparent black, each
// present shows it as drawn at that moment, and its parts land where they are asked to.
TEST_F(X11Window, PresentableBackBufferStartsBlackAndReachesTheWindowAsDrawn)
{
    platform::Image back;
    ASSERT_TRUE(platform::CreatePresentableImage(window, 64, 32, back));
    EXPECT_EQ(back.Pixel(0, 0), 0u);
    EXPECT_EQ(back.Pixel(63, 31), 0u);
    back.Fill(0xFF102030);
    back.Pixels()[5 * 64 + 7] = 0xFFFF0000;
    struct Case {
        RECT from;
        RECT to;
        POINT probe;
        std::uint32_t expected;
    };
    for (const Case& c :
         { Case{ { 0, 0, 64, 32 }, { 0, 0, 64, 32 }, { 7, 5 }, 0xFF0000u },  // whole, as it stands
           Case{ { 0, 0, 64, 32 }, { 0, 0, 64, 32 }, { 8, 5 }, 0x102030u },
           Case{ { 4, 2, 12, 10 },
                 { 300, 200, 308, 208 },
                 { 303, 203 },
                 0xFF0000u },  // a part, elsewhere
           Case{ { 4, 2, 12, 10 }, { 300, 200, 308, 208 }, { 307, 207 }, 0x102030u },
           Case{ { 6, 4, 8, 6 },
                 { 400, 200, 420, 220 },
                 { 419, 219 },
                 0xFF0000u },  // stretched: copied
           Case{ { 6, 4, 8, 6 }, { 400, 200, 420, 220 }, { 400, 200 }, 0x102030u } }) {
        platform::PresentToWindow(window, back.View(), c.from, c.to);
        XSync(display, False);
        EXPECT_EQ(PixelAt(c.probe.x, c.probe.y), c.expected) << c.probe.x << "," << c.probe.y;
    }

    // Drawn again after a present: the next present shows the new pixels.
    back.Pixels()[0] = 0xFF00FF00;
    platform::PresentToWindow(window, back.View(), RECT{ 0, 0, 1, 1 }, RECT{ 0, 0, 1, 1 });
    XSync(display, False);
    EXPECT_EQ(PixelAt(0, 0), 0x00FF00u);

    // A copy is an ordinary image with the same pixels; the buffer goes back when let go,
    // and a new one of another size works as the first did.
    const platform::Image copy = back;
    EXPECT_EQ(copy.Pixel(7, 5), 0xFFFF0000u);
    back.Reset();
    platform::Image again;
    ASSERT_TRUE(platform::CreatePresentableImage(window, 16, 8, again));
    again.Fill(0xFF0000FF);
    platform::PresentToWindow(window, again.View(), RECT{ 0, 0, 16, 8 },
                              RECT{ 500, 300, 516, 308 });
    XSync(display, False);
    EXPECT_EQ(PixelAt(515, 307), 0x0000FFu);
}

TEST_F(X11Window, MouseButtonsAndWindowManagerCloseArriveAsMessages)
{
    ASSERT_TRUE(WaitFor(WM_PAINT));
    messages.clear();
    x11test::Click(display, 300, 200, 1);
    x11test::Click(display, 300, 200, 3);
    x11test::AskToClose(display, window);

    // Nested loops leave the close to the outer loop; they end once it waits.
    platform::RunModalLoop([] { return false; }, platform::ModalServe::Everything, 2000);
    ASSERT_TRUE(platform::IsClosing());
    platform::SetWindowProc(window, [this](const Message& m) {
        messages.push_back(m);
        if (m.message == WM_CLOSE)
            platform::QuitMessageLoop(0);
    });
    EXPECT_EQ(platform::RunMessageLoop(), 0);
    std::vector<UINT> kinds;
    for (const Message& m : messages)
        kinds.push_back(m.message);
    EXPECT_THAT(kinds,
                ElementsAre(WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_CLOSE));
    EXPECT_EQ(GET_X_LPARAM(messages[0].lParam), 300);
    EXPECT_EQ(GET_Y_LPARAM(messages[0].lParam), 200);
}

TEST_F(X11Window, TitleIsSetAsUtf8AndLatin1)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    ASSERT_EQ(XGetWindowProperty(display, window, platform::x11::GetAtom("_NET_WM_NAME"), 0, 256,
                                 False, platform::x11::GetAtom("UTF8_STRING"), &type, &format,
                                 &count, &after, &data),
              Success);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), count), "Orlido – bilder åäö");
    XFree(data);

    char* latin1 = nullptr;
    ASSERT_NE(XFetchName(display, window, &latin1), 0);
    EXPECT_EQ(std::string(latin1), "Orlido ? bilder \xE5\xE4\xF6");
    XFree(latin1);
    EXPECT_EQ(platform::GetWindowTitle(window), L"Orlido – bilder åäö");
}

}  // namespace

// With two monitors the board's screen is the primary one, not the X screen over both.
TEST(X11Screen, IsThePrimaryMonitor)
{
    Display* display = platform::x11::GetDisplay();
    ASSERT_NE(display, nullptr) << x11test::kNeedsDisplay;
    int major = 0;
    int minor = 0;
    if (!XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5))
        GTEST_SKIP() << "no RandR 1.5 monitors";
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    const Window root = DefaultRootWindow(display);
    const Atom left = XInternAtom(display, "ORLIDO-LEFT", False);
    const Atom right = XInternAtom(display, "ORLIDO-RIGHT", False);
    for (const auto& [name, x, primary] :
         { std::tuple{ left, 0, false }, std::tuple{ right, width / 2, true } }) {
        XRRMonitorInfo* monitor = XRRAllocateMonitor(display, 0);
        monitor->name = name;
        monitor->primary = primary;
        monitor->x = x;
        monitor->y = 0;
        monitor->width = width / 2;
        monitor->height = height - 100;
        monitor->mwidth = 300;
        monitor->mheight = 200;
        XRRSetMonitor(display, root, monitor);
        XRRFreeMonitors(monitor);
    }
    XSync(display, False);
    EXPECT_EQ(platform::GetScreenWidth(), width / 2);
    EXPECT_EQ(platform::GetScreenHeight(), height - 100);
    const RECT primary = platform::x11::PrimaryMonitor(display);
    EXPECT_EQ(primary.left, width / 2);
    XRRDeleteMonitor(display, root, left);
    XRRDeleteMonitor(display, root, right);
    XSync(display, False);
    EXPECT_EQ(platform::GetScreenWidth(), width);
}
