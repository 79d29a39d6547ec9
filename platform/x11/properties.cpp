#include "platform/x11/properties.h"

#include "platform/files.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>

#include <deque>

namespace platform::x11 {

namespace {

// Property values longer than this are not ours to read.
constexpr long kMaxPropertyLongs = 1 << 16;

std::wstring Latin1(const std::string& bytes)
{
    std::wstring text;
    for (const char c : bytes)
        text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

std::string ToLatin1(const std::wstring& text)
{
    std::string bytes;
    for (const wchar_t c : text)
        bytes.push_back(c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?');
    return bytes;
}

// One XGetWindowProperty, freed when it goes out of scope.
struct RawProperty {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned char* data = nullptr;
    bool ok = false;

    RawProperty(Display* display, Window window, Atom property, Atom wanted)
    {
        unsigned long after = 0;
        ok = XGetWindowProperty(display, window, property, 0, kMaxPropertyLongs, False, wanted,
                                &type, &format, &count, &after, &data) == Success;
    }
    ~RawProperty()
    {
        if (data)
            XFree(data);
    }
    RawProperty(const RawProperty&) = delete;
    RawProperty& operator=(const RawProperty&) = delete;
};

}  // namespace

std::vector<Window> ChildrenOf(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Window> list;
    if (XQueryTree(display, window, &root, &parent, &children, &count) && children) {
        list.assign(children, children + count);
        XFree(children);
    }
    return list;
}

std::optional<std::vector<unsigned long>> GetProperty32(Display* display, Window window,
                                                        Atom property, Atom type)
{
    const RawProperty raw(display, window, property, type);
    if (!raw.ok)
        return std::nullopt;
    std::optional<std::vector<unsigned long>> values;
    if (raw.data && raw.type == type && raw.format == 32) {
        const auto* items =
            reinterpret_cast<const unsigned long*>(raw.data);  // Xlib widens 32-bit items to long
        values.emplace(items, items + raw.count);
    }
    return values;
}

std::optional<std::string> GetPropertyBytes(Display* display, Window window, Atom property,
                                            Atom type)
{
    const RawProperty raw(display, window, property, type);
    if (!raw.ok)
        return std::nullopt;
    std::optional<std::string> bytes;
    if (raw.data && raw.format == 8 && (type == AnyPropertyType || raw.type == type))
        bytes.emplace(reinterpret_cast<const char*>(raw.data), raw.count);
    return bytes;
}

std::wstring GetTitle(Display* display, Window window)
{
    if (const auto name =
            GetPropertyBytes(display, window, GetAtom("_NET_WM_NAME"), GetAtom("UTF8_STRING")))
        return FromUtf8(*name);
    const auto name = GetPropertyBytes(display, window, XA_WM_NAME, AnyPropertyType);
    if (!name)
        return {};
    // Many clients put UTF-8 in WM_NAME; otherwise it is 8-bit text.
    return DecodeText8(*name);
}

void SetTitle(Display* display, Window window, const std::wstring& title)
{
    const std::string utf8 = ToUtf8(title);
    XChangeProperty(display, window, GetAtom("_NET_WM_NAME"), GetAtom("UTF8_STRING"), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    const std::string latin1 = ToLatin1(title);
    XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.data()),
                    static_cast<int>(latin1.size()));
}

std::wstring GetClassPart(Display* display, Window window)
{
    const auto value = GetPropertyBytes(display, window, XA_WM_CLASS, XA_STRING);
    if (!value)
        return {};
    const std::size_t end = value->find('\0');
    if (end == std::string::npos)
        return Latin1(*value);
    std::string resClass = value->substr(end + 1);
    resClass = resClass.substr(0, resClass.find('\0'));
    return Latin1(resClass);
}

bool HasProperty(Display* display, Window window, const char* name)
{
    int count = 0;
    Atom* atoms = XListProperties(display, window, &count);
    const Atom wanted = GetAtom(name);
    bool found = false;
    for (int i = 0; atoms && i < count; ++i)
        found = found || atoms[i] == wanted;
    if (atoms)
        XFree(atoms);
    return found;
}

Window ClientOf(Display* display, Window window)
{
    if (HasProperty(display, window, "WM_STATE"))
        return window;
    std::deque<std::pair<Window, int>> queue{ { window, 0 } };
    while (!queue.empty()) {
        const auto [current, depth] = queue.front();
        queue.pop_front();
        if (depth >= 4)
            continue;
        for (const Window child : ChildrenOf(display, current)) {
            if (HasProperty(display, child, "WM_STATE"))
                return child;
            queue.emplace_back(child, depth + 1);
        }
    }
    return window;
}

Window ParentOf(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count))
        return 0;
    if (children)
        XFree(children);
    return parent;
}

Window TopLevelOf(Display* display, Window window)
{
    const Window root = DefaultRootWindow(display);
    Window current = window;
    for (int depth = 0; depth < 64 && current; ++depth) {
        if (HasProperty(display, current, "WM_STATE"))
            return current;
        const Window parent = ParentOf(display, current);
        if (parent == root || parent == 0)
            return ClientOf(display, current);
        current = parent;
    }
    return window;
}

unsigned long ProcessIdOf(Display* display, Window window)
{
    if (const auto pid = GetProperty32(display, window, GetAtom("_NET_WM_PID"), XA_CARDINAL);
        pid && !pid->empty())
        return pid->front();
    int eventBase = 0;
    int errorBase = 0;
    if (!XResQueryExtension(display, &eventBase, &errorBase))
        return 0;
    XResClientIdSpec spec{ window, XRES_CLIENT_ID_PID_MASK };
    long count = 0;
    XResClientIdValue* values = nullptr;
    unsigned long pid = 0;
    if (XResQueryClientIds(display, 1, &spec, &count, &values) == Success) {
        for (long i = 0; i < count; ++i) {
            if (XResGetClientIdType(&values[i]) == XRES_CLIENT_ID_PID) {
                const pid_t found = XResGetClientPid(&values[i]);
                if (found > 0)
                    pid = static_cast<unsigned long>(found);
            }
        }
        XResClientIdsDestroy(count, values);
    }
    return pid;
}

bool WindowManagerPresent(Display* display)
{
    const auto check = GetProperty32(display, DefaultRootWindow(display),
                                     GetAtom("_NET_SUPPORTING_WM_CHECK"), XA_WINDOW);
    if (!check || check->empty() || check->front() == 0)
        return false;
    // A manager that ended leaves the property behind; its window is gone then.
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, check->front(), &attributes) != 0;
}

}  // namespace platform::x11
