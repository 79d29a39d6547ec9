// The fake screen and window: an in-memory screen of 0x00RRGGBB pixels that presents land
// on, and windows whose client area covers the screen unless a test places them elsewhere.
#include "platform/fake/fake_loop_internal.h"
#include "platform/fake/fake_window.h"
#include "platform/messageloop.h"
#include "platform/pixels.h"
#include "platform/window.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace {

struct FakeWindow {
    std::wstring title;
    std::optional<RECT> clientInScreen;  // unset: the whole screen
    bool visible = false;
};

struct ScreenState {
    std::mutex mutex;
    int width = 1024;
    int height = 768;
    std::vector<std::uint32_t> pixels = std::vector<std::uint32_t>(1024u * 768u, 0);
    int presentCount = 0;
    std::map<HWND, FakeWindow> windows;
    HWND nextHandle = 0x10001;
};

ScreenState& Screen()
{
    static ScreenState state;
    return state;
}

RECT ClientInScreenLocked(const ScreenState& s, HWND window)
{
    const auto it = s.windows.find(window);
    if (it != s.windows.end() && it->second.clientInScreen)
        return *it->second.clientInScreen;
    return RECT{ 0, 0, s.width, s.height };
}

}  // namespace

namespace platform {

int GetScreenWidth()
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    return s.width;
}

int GetScreenHeight()
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    return s.height;
}

HWND CreateMainWindow(const std::wstring& title)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const HWND handle = s.nextHandle++;
    s.windows[handle] = FakeWindow{ title, std::nullopt, false };
    return handle;
}

HWND CreateOffscreenWindow(const std::wstring& title, int width, int height)
{
    if (width <= 0 || height <= 0)
        return 0;
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const HWND handle = s.nextHandle++;
    s.windows[handle] = FakeWindow{ title, RECT{ 0, 0, width, height }, false };
    return handle;
}

void DestroyWindow(HWND window)
{
    {
        ScreenState& s = Screen();
        std::lock_guard lock(s.mutex);
        if (s.windows.erase(window) == 0)
            return;
    }
    SendMessage(window, WM_DESTROY, 0, 0);
    fake::internal::ForgetWindow(window);
    RemoveWindowProc(window);
}

void ShowWindow(HWND window)
{
    {
        ScreenState& s = Screen();
        std::lock_guard lock(s.mutex);
        const auto it = s.windows.find(window);
        if (it == s.windows.end())
            return;
        it->second.visible = true;
    }
    fake::internal::RequestPaint(window);
}

void ShowFullScreen(HWND window)
{
    {
        ScreenState& s = Screen();
        std::lock_guard lock(s.mutex);
        const auto it = s.windows.find(window);
        if (it == s.windows.end())
            return;
        it->second.clientInScreen = RECT{ 0, 0, s.width, s.height };
        it->second.visible = true;
    }
    fake::internal::RequestPaint(window);
}

void MoveWindow(HWND window, int x, int y, int width, int height)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const auto it = s.windows.find(window);
    if (it != s.windows.end())
        it->second.clientInScreen = RECT{ x, y, x + std::max(width, 0), y + std::max(height, 0) };
}

void SetWindowTitle(HWND window, const std::wstring& title)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const auto it = s.windows.find(window);
    if (it != s.windows.end())
        it->second.title = title;
}

std::wstring GetWindowTitle(HWND window)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const auto it = s.windows.find(window);
    return it == s.windows.end() ? std::wstring() : it->second.title;
}

RECT GetClientRect(HWND window)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const RECT placed = ClientInScreenLocked(s, window);
    return RECT{ 0, 0, placed.right - placed.left, placed.bottom - placed.top };
}

POINT ClientToScreen(HWND window, POINT clientPoint)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    const RECT placed = ClientInScreenLocked(s, window);
    return POINT{ clientPoint.x + placed.left, clientPoint.y + placed.top };
}

void InvalidateWindow(HWND window)
{
    fake::internal::RequestPaint(window);
}

// The in-memory screen copies from any buffer alike.
bool CreatePresentableImage(HWND, int width, int height, Image& image)
{
    return image.Create(width, height);
}

// Pixels that fall outside the source buffer, the client area or the screen are skipped.
// Columns are sampled once per call; an unscaled copy moves whole runs of a row.
void PresentToWindow(HWND window, const PixelView& source, RECT sourceRect, RECT destClientRect)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    ++s.presentCount;
    const int sourceWidth = sourceRect.right - sourceRect.left;
    const int sourceHeight = sourceRect.bottom - sourceRect.top;
    const int destWidth = destClientRect.right - destClientRect.left;
    const int destHeight = destClientRect.bottom - destClientRect.top;
    if (!source.pixels || sourceWidth <= 0 || sourceHeight <= 0 || destWidth <= 0 ||
        destHeight <= 0)
        return;
    const RECT client = ClientInScreenLocked(s, window);
    // The destination columns that land inside the client area and the screen.
    const int firstX = std::max({ 0, -destClientRect.left, -client.left - destClientRect.left });
    const int endX = std::min({ destWidth, client.right - client.left - destClientRect.left,
                                s.width - client.left - destClientRect.left });
    if (firstX >= endX)
        return;
    std::vector<int> columns;
    NearestSourceOffsets(firstX, endX - firstX, destWidth, sourceWidth, columns);
    for (int& column : columns) {
        column += sourceRect.left;
        if (column < 0 || column >= source.width)
            column = -1;
    }
    const bool wholeRun = destWidth == sourceWidth && columns.front() >= 0 && columns.back() >= 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(source.pixels);
    for (int dy = 0; dy < destHeight; ++dy) {
        const int clientY = destClientRect.top + dy;
        const int screenY = client.top + clientY;
        const int sy = sourceRect.top + NearestSourceOffset(dy, destHeight, sourceHeight);
        if (clientY < 0 || screenY < 0 || screenY >= s.height || screenY >= client.bottom ||
            sy < 0 || sy >= source.height)
            continue;
        const auto* row = reinterpret_cast<const std::uint32_t*>(
            bytes + static_cast<std::ptrdiff_t>(sy) * source.strideBytes);
        std::uint32_t* out = s.pixels.data() +
            static_cast<std::size_t>(screenY) * static_cast<std::size_t>(s.width) +
            static_cast<std::size_t>(client.left + destClientRect.left + firstX);
        if (wholeRun) {
            CopyOpaqueRow(row + columns.front(), out, columns.size());
            continue;
        }
        // Columns whose source lies outside the buffer keep the screen's pixel.
        for (std::size_t i = 0; i < columns.size(); ++i)
            if (columns[i] >= 0)
                out[i] = row[columns[i]] & 0x00FFFFFFu;
    }
}

COLORREF GetSysColorWindow()
{
    return RGB(255, 255, 255);
}

}  // namespace platform

namespace fake {

void ResetWindow(int screenWidth, int screenHeight)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    s.width = std::max(screenWidth, 0);
    s.height = std::max(screenHeight, 0);
    s.pixels.assign(static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height), 0);
    s.presentCount = 0;
    s.windows.clear();
}

void SetClientPlacement(HWND window, RECT clientInScreen)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    s.windows[window].clientInScreen = clientInScreen;
}

std::uint32_t ScreenPixel(int x, int y)
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    if (x < 0 || y < 0 || x >= s.width || y >= s.height)
        return 0;
    return s.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(s.width) +
                    static_cast<std::size_t>(x)];
}

int PresentCount()
{
    ScreenState& s = Screen();
    std::lock_guard lock(s.mutex);
    return s.presentCount;
}

}  // namespace fake
