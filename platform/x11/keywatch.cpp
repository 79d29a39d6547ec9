// Watched keys on X11 through the RECORD extension.
//
// RECORD is used because it sees the keys of every client without grabbing them (the
// window in front still gets each key) and it reports the server's auto-repeat presses,
// which the board turns into one key-down each. It needs two connections of its own: one
// to control the recording context and one that carries the recorded data. The data
// connection's socket waits in the message loop's poll beside the board's own connection,
// so the callback runs on the user-interface thread, no lock is needed and nothing polls.
#include "platform/x11/keywatch.h"

#include "platform/desktop.h"
#include "platform/files.h"
#include "platform/messageloop.h"

#include <X11/XKBlib.h>
#include <X11/Xproto.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace platform::x11 {
namespace {

bool g_unavailableLogged = false;

void LogUnavailableOnce(const wchar_t* why)
{
    if (g_unavailableLogged)
        return;
    g_unavailableLogged = true;
    // Always on stderr: in scan mode the two switches depend on it.
    std::fprintf(stderr, "orlido: key watch: %s; working without watched keys\n",
                 platform::ToUtf8(why).c_str());
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
    case XK_BackSpace:
        return 0x08;
    case XK_Tab:
        return 0x09;
    case XK_Escape:
        return 0x1B;
    case XK_Left:
        return 0x25;
    case XK_Up:
        return 0x26;
    case XK_Right:
        return 0x27;
    case XK_Down:
        return 0x28;
    case XK_Shift_L:
    case XK_Shift_R:
        return 0x10;
    case XK_Control_L:
    case XK_Control_R:
        return 0x11;
    case XK_Alt_L:
    case XK_Alt_R:
        return 0x12;
    default:
        return 0;
    }
}

}  // namespace

KeyWatch::~KeyWatch()
{
    // The order matters: the context ends on the control connection, the data connection
    // reads that end, and only then may the context be freed.
    if (m_dataFd >= 0)
        UnwatchFileDescriptor(m_dataFd);
    if (m_context && m_control) {
        XRecordDisableContext(m_control.get(), m_context);
        XSync(m_control.get(), False);
    }
    if (m_data) {
        XRecordProcessReplies(m_data.get());  // lets the context end on the data side
        m_data.reset();
    }
    if (m_context && m_control)
        XRecordFreeContext(m_control.get(), m_context);
}

bool KeyWatch::Start(KeyHandler onKey)
{
    m_control.reset(XOpenDisplay(nullptr));
    if (!m_control) {
        LogUnavailableOnce(L"no display");
        return false;
    }
    int major = 0;
    int minor = 0;
    if (!XRecordQueryVersion(m_control.get(), &major, &minor)) {
        LogUnavailableOnce(L"the X server has no RECORD extension");
        return false;
    }
    BuildKeycodeTable();

    XRecordRange* range = XRecordAllocRange();
    if (!range)
        return false;
    range->device_events.first = KeyPress;
    range->device_events.last = KeyRelease;
    XRecordClientSpec clients = XRecordAllClients;
    m_context = XRecordCreateContext(m_control.get(), 0, &clients, 1, &range, 1);
    XFree(range);
    XSync(m_control.get(), False);
    if (m_context)
        m_data.reset(XOpenDisplay(DisplayString(m_control.get())));
    m_onKey = std::move(onKey);
    if (!m_data ||
        !XRecordEnableContextAsync(m_data.get(), m_context, OnRecordedData,
                                   reinterpret_cast<XPointer>(this))) {
        LogUnavailableOnce(L"the key recording could not be started");
        return false;
    }
    m_dataFd = ConnectionNumber(m_data.get());
    WatchFileDescriptor(m_dataFd, [this] { ReadRecordedKeys(); });
    ReadRecordedKeys();  // whatever arrived while the context was being enabled
    return true;
}

void KeyWatch::BuildKeycodeTable()
{
    m_virtualKeyOfKeycode.fill(0);
    int minKeycode = 0;
    int maxKeycode = 0;
    XDisplayKeycodes(m_control.get(), &minKeycode, &maxKeycode);
    for (int code = minKeycode; code <= maxKeycode && code < 256; ++code) {
        const KeySym sym = XkbKeycodeToKeysym(m_control.get(), static_cast<KeyCode>(code), 0, 0);
        m_virtualKeyOfKeycode[static_cast<std::size_t>(code)] = VirtualKeyOfKeysym(sym);
    }
}

void KeyWatch::ReadRecordedKeys()
{
    if (m_data)
        XRecordProcessReplies(m_data.get());  // reads what has arrived; never blocks
}

void KeyWatch::OnRecordedData(XPointer self, XRecordInterceptData* record)
{
    const auto& watch = *reinterpret_cast<const KeyWatch*>(self);
    if (record->category == XRecordFromServer && record->data && record->data_len >= 1) {
        // A recorded device event is the core protocol's 32-byte event: type, key code,
        // sequence number, then the server time of the event.
        const auto* bytes = reinterpret_cast<const unsigned char*>(record->data);
        const int type = bytes[0] & 0x7F;
        const int virtualKey = watch.m_virtualKeyOfKeycode[bytes[1]];
        DWORD time = 0;
        if (record->data_len * 4 >= 8) {
            xEvent event;
            std::memcpy(&event, bytes, std::min<std::size_t>(sizeof event, record->data_len * 4u));
            time = static_cast<DWORD>(event.u.keyButtonPointer.time);
        }
        if ((type == KeyPress || type == KeyRelease) && virtualKey != 0 && watch.m_onKey)
            watch.m_onKey(virtualKey, type == KeyPress, time);
    }
    XRecordFreeData(record);
}

}  // namespace platform::x11

namespace platform {
namespace {

// The running watch. Never destroyed at exit: by then the message loop it is registered
// with may be gone; StopKeyWatch ends it in order.
std::unique_ptr<x11::KeyWatch>& RunningWatch()
{
    static auto* const watch = new std::unique_ptr<x11::KeyWatch>;
    return *watch;
}

}  // namespace

bool StartKeyWatch(std::function<void(int virtualKey, bool down, DWORD time)> onKey)
{
    StopKeyWatch();
    auto watch = std::make_unique<x11::KeyWatch>();
    if (!watch->Start(std::move(onKey)))
        return false;
    RunningWatch() = std::move(watch);
    return true;
}

void StopKeyWatch()
{
    RunningWatch().reset();
}

}  // namespace platform
