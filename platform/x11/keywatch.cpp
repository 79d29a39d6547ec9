// The desktop around the board on X11: /proc/self/exe, fontconfig's default sans face, and
// watched keys through the RECORD extension.
//
// RECORD is used because it sees the keys of every client without grabbing them (the
// window in front still gets each key) and it reports the server's auto-repeat presses,
// which the board turns into one key-down each. It needs two connections of its own: one
// to control the recording context and one that carries the recorded data. The data
// connection's socket waits in the message loop's poll beside the board's own connection,
// so the callback runs on the user-interface thread, no lock is needed and nothing polls.
#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <fontconfig/fontconfig.h>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <cstdio>
#include <future>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

struct KeyWatch {
    Display* control = nullptr;
    Display* data = nullptr;
    XRecordContext context = 0;
    int dataFd = -1;
    std::array<int, 256> virtualKeyOfKeycode{};
    std::function<void(int, bool, DWORD)> onKey;
};

KeyWatch g_watch;
bool g_unavailableLogged = false;

void LogUnavailableOnce(const wchar_t* why)
{
    if (g_unavailableLogged)
        return;
    g_unavailableLogged = true;
    // Always on stderr: in scan mode the two switches depend on it.
    std::fprintf(stderr, "orlido: key watch: %s; working without watched keys\n", platform::ToUtf8(why).c_str());
    platform::TraceF(L"Key watch: %ls; working without watched keys\n", why);
}

// The Windows virtual-key code of a key symbol, 0 when none is known.
int VirtualKeyOfKeysym(KeySym sym)
{
    if (sym == XK_Return || sym == XK_KP_Enter)
        return 13;
    if (sym == XK_space)
        return 32;
    if (sym >= XK_a && sym <= XK_z)
        return static_cast<int>('A' + (sym - XK_a));
    if (sym >= XK_A && sym <= XK_Z)
        return static_cast<int>('A' + (sym - XK_A));
    if (sym >= XK_0 && sym <= XK_9)
        return static_cast<int>('0' + (sym - XK_0));
    if (sym >= XK_F1 && sym <= XK_F12)
        return static_cast<int>(0x70 + (sym - XK_F1));
    switch (sym) {
    case XK_BackSpace: return 0x08;
    case XK_Tab: return 0x09;
    case XK_Escape: return 0x1B;
    case XK_Left: return 0x25;
    case XK_Up: return 0x26;
    case XK_Right: return 0x27;
    case XK_Down: return 0x28;
    case XK_Shift_L: case XK_Shift_R: return 0x10;
    case XK_Control_L: case XK_Control_R: return 0x11;
    case XK_Alt_L: case XK_Alt_R: return 0x12;
    default: return 0;
    }
}

void BuildKeycodeTable(Display* display)
{
    g_watch.virtualKeyOfKeycode.fill(0);
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(display, &minKeycode, &maxKeycode);
    for (int code = minKeycode; code <= maxKeycode && code < 256; ++code) {
        const KeySym sym = XkbKeycodeToKeysym(display, static_cast<KeyCode>(code), 0, 0);
        g_watch.virtualKeyOfKeycode[static_cast<std::size_t>(code)] = VirtualKeyOfKeysym(sym);
    }
}

void OnRecordedData(XPointer, XRecordInterceptData* record)
{
    if (record->category == XRecordFromServer && record->data && record->data_len >= 1) {
        // A recorded device event is the core protocol's 32-byte event: type, key code,
        // sequence number, then the server time of the event.
        const auto* bytes = reinterpret_cast<const unsigned char*>(record->data);
        const int type = bytes[0] & 0x7F;
        const int virtualKey = g_watch.virtualKeyOfKeycode[bytes[1]];
        DWORD time = 0;
        if (record->data_len * 4 >= 8) {
            xEvent event;
            std::memcpy(&event, bytes, std::min<std::size_t>(sizeof event, record->data_len * 4u));
            time = static_cast<DWORD>(event.u.keyButtonPointer.time);
        }
        if ((type == KeyPress || type == KeyRelease) && virtualKey != 0 && g_watch.onKey)
            g_watch.onKey(virtualKey, type == KeyPress, time);
    }
    XRecordFreeData(record);
}

void ReadRecordedKeys()
{
    if (g_watch.data)
        XRecordProcessReplies(g_watch.data);  // reads what has arrived; never blocks
}

void CloseWatch()
{
    if (g_watch.dataFd >= 0)
        platform::UnwatchFileDescriptor(g_watch.dataFd);
    if (g_watch.context && g_watch.control) {
        XRecordDisableContext(g_watch.control, g_watch.context);
        XSync(g_watch.control, False);
    }
    if (g_watch.data) {
        XRecordProcessReplies(g_watch.data);  // lets the context end on the data side
        XCloseDisplay(g_watch.data);
    }
    if (g_watch.context && g_watch.control)
        XRecordFreeContext(g_watch.control, g_watch.context);
    if (g_watch.control)
        XCloseDisplay(g_watch.control);
    g_watch = KeyWatch{};
}

} // namespace

namespace platform {

std::wstring GetExecutablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return L"";
    return FromUtf8(std::string_view(buffer, static_cast<std::size_t>(length)));
}

namespace {

std::wstring LookUpDefaultFontFace()
{
    std::wstring face = L"DejaVu Sans";
    if (!FcInit())
        return face;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    if (!pattern)
        return face;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch && family && *family)
            face = FromUtf8(reinterpret_cast<const char*>(family));
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return face;
}

std::mutex g_fontFaceMutex;
std::shared_future<std::wstring> g_fontFace;  // the one look-up, begun by whoever comes first

std::shared_future<std::wstring> FontFaceLookup(std::launch policy)
{
    std::lock_guard lock(g_fontFaceMutex);
    if (!g_fontFace.valid())
        g_fontFace = std::async(policy, LookUpDefaultFontFace).share();
    return g_fontFace;
}

} // namespace

std::wstring GetDefaultFontFace()
{
    return FontFaceLookup(std::launch::deferred).get();
}

void StartDefaultFontFaceLookup()
{
    FontFaceLookup(std::launch::async);
}

bool StartKeyWatch(std::function<void(int virtualKey, bool down, DWORD time)> onKey)
{
    StopKeyWatch();
    g_watch.control = XOpenDisplay(nullptr);
    if (!g_watch.control) {
        LogUnavailableOnce(L"no display");
        return false;
    }
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(g_watch.control, &major, &minor)) {
        LogUnavailableOnce(L"the X server has no RECORD extension");
        CloseWatch();
        return false;
    }
    BuildKeycodeTable(g_watch.control);

    XRecordRange* range = XRecordAllocRange();
    if (!range) {
        CloseWatch();
        return false;
    }
    range->device_events.first = KeyPress;
    range->device_events.last = KeyRelease;
    XRecordClientSpec clients = XRecordAllClients;
    g_watch.context = XRecordCreateContext(g_watch.control, 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(g_watch.control, False);
    g_watch.data = g_watch.context ? XOpenDisplay(DisplayString(g_watch.control)) : nullptr;
    g_watch.onKey = std::move(onKey);
    if (!g_watch.data
        || !XRecordEnableContextAsync(g_watch.data, g_watch.context, OnRecordedData, nullptr)) {
        LogUnavailableOnce(L"the key recording could not be started");
        CloseWatch();
        return false;
    }
    g_watch.dataFd = ConnectionNumber(g_watch.data);
    WatchFileDescriptor(g_watch.dataFd, ReadRecordedKeys);
    ReadRecordedKeys();  // whatever arrived while the context was being enabled
    return true;
}

void StopKeyWatch()
{
    if (g_watch.control || g_watch.data)
        CloseWatch();
}

} // namespace platform
