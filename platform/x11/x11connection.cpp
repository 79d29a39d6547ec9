// The shared X connection: opened lazily, an error handler that logs and carries on, error
// traps for requests that may fail, and the dispatch of events to the modules' handlers.
#include "platform/x11/x11connection.h"

#include "platform/files.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace platform::x11 {
namespace {

std::once_flag g_threadsOnce;
std::once_flag g_openOnce;
std::atomic<Display*> g_display{ nullptr };

std::mutex g_atomMutex;
std::map<std::string, Atom> g_atoms;

// Errors are counted while a trap is active, traced otherwise. Xlib calls the handler on
// whichever thread reads the error, so the state is atomic.
std::mutex g_trapMutex;
std::atomic<bool> g_trapActive{ false };
std::atomic<int> g_trappedErrors{ 0 };

int OnXError(Display*, XErrorEvent* error)
{
    if (g_trapActive.load()) {
        g_trappedErrors.fetch_add(1);
        return 0;
    }
    platform::TraceF(L"X error %d on request %d.%d for resource 0x%lx\n",
                     static_cast<int>(error->error_code), static_cast<int>(error->request_code),
                     static_cast<int>(error->minor_code),
                     static_cast<unsigned long>(error->resourceid));
    return 0;
}

std::mutex g_handlerMutex;
std::map<Window, EventHandler> g_handlers;
std::map<int, std::function<bool(const XEvent&)>> g_watchers;
int g_nextWatcher = 1;

}  // namespace

void EnsureXThreads()
{
    std::call_once(g_threadsOnce, [] { XInitThreads(); });
}

Display* GetDisplay()
{
    std::call_once(g_openOnce, [] {
        EnsureXThreads();
        Display* display = XOpenDisplay(nullptr);
        if (!display) {
            platform::Trace(L"No X display: the board cannot show a window\n");
            return;
        }
        InstallErrorHandler();
        g_display.store(display);
    });
    return g_display.load();
}

Display* DisplayIfOpen()
{
    return g_display.load();
}

Atom GetAtom(const char* name)
{
    Display* display = GetDisplay();
    if (!display)
        return None;
    std::lock_guard lock(g_atomMutex);
    const auto it = g_atoms.find(name);
    if (it != g_atoms.end())
        return it->second;
    const Atom atom = XInternAtom(display, name, False);
    g_atoms.emplace(name, atom);
    return atom;
}

void InstallErrorHandler()
{
    XSetErrorHandler(OnXError);
}

ErrorTrap::ErrorTrap()
{
    g_trapMutex.lock();
    InstallErrorHandler();
    if (Display* display = DisplayIfOpen())
        XSync(display, False);  // earlier requests' errors are not this trap's
    g_trappedErrors.store(0);
    g_trapActive.store(true);
}

ErrorTrap::~ErrorTrap()
{
    if (Display* display = DisplayIfOpen())
        XSync(display, False);
    g_trapActive.store(false);
    g_trapMutex.unlock();
    WakeAfterRoundTrip();
}

void WakeAfterRoundTrip()
{
    if (LoopRunsOnAnotherThread())
        WakeLoop();
}

bool ErrorTrap::Failed()
{
    if (Display* display = DisplayIfOpen())
        XSync(display, False);
    return g_trappedErrors.load() > 0;
}

void SetEventHandler(Window window, EventHandler handler)
{
    std::lock_guard lock(g_handlerMutex);
    g_handlers[window] = std::move(handler);
}

void RemoveEventHandler(Window window)
{
    std::lock_guard lock(g_handlerMutex);
    g_handlers.erase(window);
}

int AddEventWatcher(std::function<bool(const XEvent&)> watcher)
{
    std::lock_guard lock(g_handlerMutex);
    const int id = g_nextWatcher++;
    g_watchers.emplace(id, std::move(watcher));
    return id;
}

void RemoveEventWatcher(int id)
{
    std::lock_guard lock(g_handlerMutex);
    g_watchers.erase(id);
}

void DispatchEvent(const XEvent& event)
{
    std::vector<std::function<bool(const XEvent&)>> watchers;
    EventHandler handler;
    {
        std::lock_guard lock(g_handlerMutex);
        for (const auto& [id, watcher] : g_watchers)
            watchers.push_back(watcher);
        const auto it = g_handlers.find(event.xany.window);
        if (it != g_handlers.end())
            handler = it->second;
    }
    for (const auto& watcher : watchers)
        if (watcher(event))
            return;
    if (handler) {
        handler(event);
        return;
    }
    TranslateWindowEvent(event);
}

}  // namespace platform::x11
