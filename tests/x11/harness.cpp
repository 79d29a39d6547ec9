#include "tests/x11/harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace x11test {

namespace fs = std::filesystem;

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
        if (condition())
            return true;
        std::this_thread::sleep_for(kPollInterval);
    }
    return condition();
}

bool Near(std::uint32_t a, std::uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(difference) > tolerance)
            return false;
    }
    return true;
}

const std::string& SourceDir()
{
    static const std::string source = ORLIDO_SOURCE_DIR;
    return source;
}

const char* BoardBinary()
{
    return ORLIDO_BINARY;
}

namespace {

// A failed request (a window that went away, a point off the screen) fails the check that
// made it instead of ending the test process.
int RecordXError(Display*, XErrorEvent* error)
{
    ADD_FAILURE() << "X error " << static_cast<int>(error->error_code) << " on request "
                  << static_cast<int>(error->request_code);
    return 0;
}

int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

void HandleXErrors(XErrors mode)
{
    XSetErrorHandler(mode == XErrors::Fail ? RecordXError : IgnoreXError);
}

PageGeometry::PageGeometry(int screenWidth, int screenHeight)
{
    // The pictures take a little less of the height on the common laptop screen.
    const double factor = (screenWidth == 1366 && screenHeight == 768) ? 0.85 : 0.9;
    q = screenWidth / 4;
    h = static_cast<int>(screenHeight / 2.0 * factor + 0.5);
    barWidth = screenWidth / 3 - 8;
    barHeight = screenHeight - 2 * h - 26;
    barY = 2 * h + 21;
    barStep = screenWidth / 3;
    userAreaHeight = 2 * h + 17;
}

std::vector<std::uint32_t> Grab(Display* display, int x, int y, int width, int height)
{
    std::vector<std::uint32_t> pixels;
    XImage* image =
        XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                  static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int row = 0; row < height; ++row)
        for (int column = 0; column < width; ++column)
            pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, column, row)) & 0xFFFFFF);
    XDestroyImage(image);
    return pixels;
}

std::uint32_t Pixel(Display* display, int x, int y)
{
    const auto pixels = Grab(display, x, y, 1, 1);
    return pixels.empty() ? 0xFFFFFFFF : pixels[0];
}

bool PixelBecomes(Display* display, int x, int y, std::uint32_t colour, int tolerance,
                  int timeoutMs)
{
    return WaitFor([&] { return Near(Pixel(display, x, y), colour, tolerance); }, timeoutMs);
}

void Click(Display* display, int x, int y, unsigned button)
{
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

void TapKey(Display* display, unsigned long keysym)
{
    const KeyCode code = XKeysymToKeycode(display, keysym);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    XSync(display, False);
}

std::vector<Window> Children(Display* display, Window parent)
{
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    std::vector<Window> result;
    if (XQueryTree(display, parent, &root, &up, &children, &count) && children) {
        result.assign(children, children + count);
        XFree(children);
    }
    return result;
}

bool Viewable(Display* display, Window window)
{
    XWindowAttributes attributes;
    return XGetWindowAttributes(display, window, &attributes) && attributes.map_state == IsViewable;
}

Window FindViewable(Display* display, const std::function<bool(Window)>& accept)
{
    std::vector<Window> queue = Children(display, DefaultRootWindow(display));
    for (std::size_t i = 0; i < queue.size() && i < 20000; ++i) {
        if (!Viewable(display, queue[i]))
            continue;
        if (accept(queue[i]))
            return queue[i];
        for (const Window child : Children(display, queue[i]))
            queue.push_back(child);
    }
    return 0;
}

Window FindTopLevel(Display* display, const std::string& title)
{
    for (const Window window : Children(display, DefaultRootWindow(display)))
        if (Title(display, window) == title)
            return window;
    return 0;
}

Window FindFullScreenWindow(Display* display)
{
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    Window found = 0;
    // Children come bottom to top: the last match is the one in front.
    for (const Window window : Children(display, DefaultRootWindow(display))) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, window, &a) && a.map_state == IsViewable &&
            a.width == width && a.height == height && a.x == 0 && a.y == 0)
            found = window;
    }
    return found != 0 ? ClientWindow(display, found) : 0;
}

Window ClientWindow(Display* display, Window window)
{
    const Atom state = XInternAtom(display, "WM_STATE", False);
    std::vector<Window> queue{ window };
    for (std::size_t i = 0; i < queue.size() && i < 1000; ++i) {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(display, queue[i], state, 0, 0, False, AnyPropertyType, &type, &format,
                           &items, &after, &data);
        if (data)
            XFree(data);
        if (type != 0)
            return queue[i];
        for (const Window child : Children(display, queue[i]))
            queue.push_back(child);
    }
    return window;
}

std::string Title(Display* display, Window window)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False), 0, 4096,
                           False, AnyPropertyType, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), items);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

bool IsInside(Display* display, Window window, Window ancestor)
{
    for (Window current = window; current != 0;) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, current, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (parent == ancestor)
            return true;
        if (parent == root)
            return false;
        current = parent;
    }
    return false;
}

XRectangle ScreenRect(Display* display, Window window)
{
    XWindowAttributes a{};
    XGetWindowAttributes(display, window, &a);
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return XRectangle{ static_cast<short>(x), static_cast<short>(y),
                       static_cast<unsigned short>(a.width),
                       static_cast<unsigned short>(a.height) };
}

void AskToClose(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

BoardProcess::~BoardProcess()
{
    Kill();
}

bool BoardProcess::Start(const fs::path& workingDirectory, const std::string& content)
{
    return Start(workingDirectory, std::vector<std::string>{ "--content", content });
}

bool BoardProcess::Start(const fs::path& workingDirectory,
                         const std::vector<std::string>& arguments)
{
    Kill();
    // Made before the fork: the child only calls what is safe there.
    std::vector<char*> argv{ const_cast<char*>(BoardBinary()) };
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) {
        m_pid = 0;
        return false;
    }
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // no board left behind by a test that dies
        if (::chdir(workingDirectory.c_str()) != 0)
            ::_exit(126);
        const auto redirect = [](const char* file, int fd) {
            const int output = ::open(file, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (output >= 0) {
                ::dup2(output, fd);
                ::close(output);
            }
        };
        redirect(kStdout, STDOUT_FILENO);
        redirect(kStderr, STDERR_FILENO);
        ::execv(BoardBinary(), argv.data());
        ::_exit(127);
    }
    return true;
}

int BoardProcess::WaitForExit(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0)
        return -1;
    int status = 0;
    if (!WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, timeout))
        return -1;
    m_pid = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void BoardProcess::Kill()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = 0;
    }
}

void BoardFixture::SetUp()
{
    m_display = XOpenDisplay(nullptr);
    ASSERT_NE(m_display, nullptr) << kNeedsDisplay;
    HandleXErrors(m_errors);
    m_width = DisplayWidth(m_display, DefaultScreen(m_display));
    m_height = DisplayHeight(m_display, DefaultScreen(m_display));
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    m_workingDirectory = fs::temp_directory_path() /
        ("orlido-" + std::string(test->test_suite_name()) + "-" + std::to_string(::getpid()));
    fs::create_directories(m_workingDirectory);
}

void BoardFixture::TearDown()
{
    m_process.Kill();
    if (HasFailure())
        std::cout << "--- the board's output ---\n" << BoardOutput() << "\n";
    if (m_display)
        XCloseDisplay(m_display);
    fs::remove_all(m_workingDirectory);
}

void BoardFixture::StartBoard(const std::string& settingsFolder, const std::string& content)
{
    const fs::path settings = fs::path(settingsFolder).is_absolute()
        ? fs::path(settingsFolder)
        : fs::path(SourceDir()) / settingsFolder;
    fs::copy_file(settings / "Setup.txt", m_workingDirectory / "Setup.txt",
                  fs::copy_options::overwrite_existing);
    ASSERT_TRUE(m_process.Start(m_workingDirectory, content)) << "fork failed";
    ASSERT_TRUE(WaitFor([&] { return (m_board = FindFullScreenWindow(m_display)) != 0; }, 10000))
        << "the board's window did not appear";
}

std::string BoardFixture::BoardOutput() const
{
    return ReadFile(m_workingDirectory / BoardProcess::kStdout) +
        ReadFile(m_workingDirectory / BoardProcess::kStderr);
}

}  // namespace x11test
