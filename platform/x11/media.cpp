// The media player of the x11 backend: one libmpv handle per alias, made at "open" and
// destroyed at "close", so a closed film leaves no decoder, video output or memory behind.
// A film renders into an X window of the board's own: a top-level, override-redirect window
// titled with the film's path (so a search by title finds it) and as large as the film,
// which mpv fills through its "wid" option and follows when the window is resized.
#include "platform/audio.h"

#include "platform/common/mediacommand.h"
#include "platform/files.h"
#include "platform/x11/x11connection.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <mpv/client.h>

#include <chrono>
#include <clocale>
#include <cstdint>
#include <filesystem>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// How long "open" waits for mpv to open the file and tell what it holds.
constexpr auto kOpenTimeout = std::chrono::seconds(5);
// A film window's size until the film's own is known.
constexpr int kProvisionalSize = 16;
// Where a film's window waits until it is placed.
constexpr int kOffScreen = -20000;

// The file as mpv should open it: the real (case-resolved) path made absolute, so no name
// is ever taken for an mpv protocol or option. Empty when there is no such file.
std::string PlayableFile(const std::wstring& path)
{
    const std::wstring real = ResolvePath(path);
    if (!IsFile(real))
        return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ToUtf8(real), error);
    return error ? std::string() : absolute.string();
}

std::string ToLatin1(const std::wstring& text)
{
    std::string result;
    for (const wchar_t c : text)
        result.push_back(c >= 0 && c <= 0xFF ? static_cast<char>(c) : '?');
    return result;
}

// The window a film plays in: top-level and override-redirect (no window manager frames
// or moves it), black, and mapped far off the screen until whoever places it moves it into
// view: mpv starts its picture in a window that is already mapped, and nothing flashes up
// over the board before the window is in its place.
Window CreateFilmWindow(Display* display, const std::wstring& title)
{
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    const Window window = XCreateWindow(display, DefaultRootWindow(display), kOffScreen, kOffScreen, kProvisionalSize,
                                        kProvisionalSize, 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWBackPixel, &attributes);
    if (window == None)
        return None;

    const std::string utf8 = ToUtf8(title);
    XChangeProperty(display, window, x11::GetAtom("_NET_WM_NAME"), x11::GetAtom("UTF8_STRING"), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.data()),
                    static_cast<int>(utf8.size()));
    const std::string latin1 = ToLatin1(title);
    XChangeProperty(display, window, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(latin1.data()), static_cast<int>(latin1.size()));
    XClassHint hint{};
    char name[] = "orlido-film";
    char className[] = "Orlido";
    hint.res_name = name;
    hint.res_class = className;
    XSetClassHint(display, window, &hint);
    const long pid = static_cast<long>(::getpid());
    XChangeProperty(display, window, x11::GetAtom("_NET_WM_PID"), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    XMapWindow(display, window);
    // mpv opens its own connection and must find the window there.
    XSync(display, False);
    return window;
}

class MediaPlayer {
public:
    ~MediaPlayer()
    {
        // mpv first: its video output lives inside the window.
        if (m_mpv != nullptr)
            mpv_terminate_destroy(m_mpv);
        x11::InstallErrorHandler();
        DestroyWindow();
    }

    MediaPlayer() = default;
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // 0, or the command's error.
    int Open(const std::wstring& path)
    {
        const std::string file = PlayableFile(path);
        if (file.empty())
            return kMediaErrorCannotOpen;
        if (!CreateHandle())
            return kMediaErrorNoPlayer;

        Display* display = x11::GetDisplay();
        if (display != nullptr)
            m_window = CreateFilmWindow(display, path);
        if (m_window != None) {
            const std::int64_t wid = static_cast<std::int64_t>(m_window);
            mpv_set_option(m_mpv, "wid", MPV_FORMAT_INT64, const_cast<std::int64_t*>(&wid));
        } else {
            // Without a display a film is heard, not seen.
            mpv_set_option_string(m_mpv, "vid", "no");
        }

        const char* load[] = {"loadfile", file.c_str(), "replace", nullptr};
        if (mpv_command(m_mpv, load) < 0 || !WaitUntilLoaded())
            return kMediaErrorCannotOpen;

        SizeWindowToFilm();
        return 0;
    }

    void Play() { mpv_set_property_string(m_mpv, "pause", "no"); }

private:
    bool CreateHandle()
    {
        // mpv parses numbers with the C library and refuses to start under a locale with a
        // decimal comma.
        std::setlocale(LC_NUMERIC, "C");
        m_mpv = mpv_create();
        if (m_mpv == nullptr) {
            Trace(L"Media: libmpv could not be created\n");
            return false;
        }
        const char* options[][2] = {
            {"config", "no"},
            {"terminal", "no"},
            {"idle", "yes"},
            {"pause", "yes"},
            {"input-default-bindings", "no"},
            {"input-vo-keyboard", "no"},
            {"input-cursor", "no"},
            {"cursor-autohide", "no"},
            {"osd-level", "0"},
            {"audio-display", "no"},
            {"audio-fallback-to-null", "yes"},
            {"gapless-audio", "no"},
            {"keep-open", "yes"},  // a film that ends keeps its last picture until closed
            {"load-scripts", "no"},
            {"load-stats-overlay", "no"},
            {"load-osd-console", "no"},
            {"load-auto-profiles", "no"},
            {"ytdl", "no"},
            {"vo", "gpu,x11"},  // left to itself mpv may pick an output that ignores "wid"
            {"gpu-sw", "yes"},
            {"hwdec", "no"},
        };
        for (const auto& option : options)
            mpv_set_option_string(m_mpv, option[0], option[1]);
        if (mpv_initialize(m_mpv) < 0) {
            Trace(L"Media: libmpv could not be initialised\n");
            mpv_terminate_destroy(m_mpv);
            m_mpv = nullptr;
            return false;
        }
        return true;
    }

    // Until the file is open (true) or mpv gave up on it (false), bounded.
    bool WaitUntilLoaded()
    {
        const auto deadline = Clock::now() + kOpenTimeout;
        for (;;) {
            const double left = std::chrono::duration<double>(deadline - Clock::now()).count();
            if (left <= 0) {
                Trace(L"Media: the file was not opened in time\n");
                return false;
            }
            const mpv_event* event = mpv_wait_event(m_mpv, left);
            if (event->event_id == MPV_EVENT_FILE_LOADED)
                return true;
            if (event->event_id == MPV_EVENT_END_FILE || event->event_id == MPV_EVENT_SHUTDOWN)
                return false;
        }
    }

    // A film's window takes the film's size; music needs no window.
    void SizeWindowToFilm()
    {
        std::int64_t width = 0;
        std::int64_t height = 0;
        const bool film =
            mpv_get_property(m_mpv, "current-tracks/video/demux-w", MPV_FORMAT_INT64, &width) >= 0 &&
            mpv_get_property(m_mpv, "current-tracks/video/demux-h", MPV_FORMAT_INT64, &height) >= 0 &&
            width > 0 && height > 0;
        if (!film) {
            DestroyWindow();
            return;
        }
        Display* display = x11::DisplayIfOpen();
        if (m_window != None && display != nullptr) {
            XResizeWindow(display, m_window, static_cast<unsigned>(width), static_cast<unsigned>(height));
            XSync(display, False);
        }
    }

    void DestroyWindow()
    {
        Display* display = x11::DisplayIfOpen();
        if (m_window == None || display == nullptr)
            return;
        x11::ErrorTrap trap;  // whoever adopted the window may have destroyed it with theirs
        XDestroyWindow(display, m_window);
        trap.Failed();
        m_window = None;
    }

    mpv_handle* m_mpv = nullptr;
    Window m_window = None;
};

// The players by alias. Commands come from the user-interface thread only.
std::map<std::wstring, std::unique_ptr<MediaPlayer>>& Players()
{
    static std::map<std::wstring, std::unique_ptr<MediaPlayer>> players;
    return players;
}

} // namespace

int mciSendString(const std::wstring& text)
{
    MediaCommand command;
    if (!ParseMediaCommand(text, command))
        return kMediaErrorUnknownCommand;

    auto& players = Players();
    const auto found = players.find(command.alias);

    if (command.verb == L"open") {
        if (found != players.end())
            return kMediaErrorAliasInUse;
        auto player = std::make_unique<MediaPlayer>();
        const int result = player->Open(command.device);
        if (result == 0)
            players[command.alias] = std::move(player);
        return result;
    }
    if (found == players.end())
        return kMediaErrorUnknownAlias;
    if (command.verb == L"play") {
        found->second->Play();
        return 0;
    }
    if (command.verb == L"close") {
        players.erase(found);
        // The film's frames and decoder buffers, below the heap's mapping threshold, were
        // freed into the heap in scattered pieces that no top trim reaches: hand their pages
        // back, or a 4K film leaves well over 100 MiB with the board.
        malloc_trim(0);
        return 0;
    }
    return kMediaErrorUnknownCommand;
}

} // namespace platform
