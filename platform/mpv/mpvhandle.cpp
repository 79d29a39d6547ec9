#include "platform/mpv/mpvhandle.h"

#include <optional>

#include "platform/files.h"
#include "platform/messageloop.h"
#include "platform/audio/audiodevice.h"

#include <clocale>
#include <filesystem>
#include <span>

namespace platform::mpv {
namespace {

struct Option {
    const char* name;
    const char* value;
};

// Every handle: no user configuration, scripts, key bindings or terminal output; idle
// between files instead of ending.
constexpr Option kCommonOptions[] = {
    { "config", "no" },
    { "terminal", "no" },
    { "idle", "yes" },
    { "input-default-bindings", "no" },
    { "load-scripts", "no" },
    { "load-stats-overlay", "no" },
    { "load-osd-console", "no" },
    { "ytdl", "no" },
};

constexpr Option kSoundOptions[] = {
    { "vid", "no" },
    { "audio-display", "no" },
    { "input-vo-keyboard", "no" },
    { "audio-fallback-to-null", "yes" },
    { "gapless-audio", "no" },
    { "load-auto-profiles", "no" },
    { "keep-open", "no" },
};

constexpr Option kFilmOptions[] = {
    { "pause", "yes" },
    { "input-vo-keyboard", "no" },
    { "input-cursor", "no" },
    { "cursor-autohide", "no" },
    { "osd-level", "0" },
    { "audio-display", "no" },
    { "audio-fallback-to-null", "yes" },
    { "gapless-audio", "no" },
    { "keep-open", "yes" },  // a film that ends keeps its last picture until closed
    { "load-auto-profiles", "no" },
    { "vo", "gpu,x11" },  // left to itself libmpv may pick an output that ignores "wid"
    { "gpu-sw", "yes" },
    { "hwdec", "no" },
};

constexpr Option kProbeOptions[] = {
    { "pause", "yes" }, { "ao", "null" }, { "vo", "null" }, { "load-unsafe-playlists", "no" },
    { "osc", "no" },
};

std::span<const Option> OptionsFor(HandleUse use)
{
    switch (use) {
    case HandleUse::Sound:
        return kSoundOptions;
    case HandleUse::Film:
        return kFilmOptions;
    case HandleUse::Probe:
        return kProbeOptions;
    }
    return {};
}

// How the trace names the handle's user, and what a handle that cannot start turns off.
const wchar_t* TraceName(HandleUse use)
{
    return use == HandleUse::Sound ? L"Sound"
        : use == HandleUse::Film   ? L"Media"
                                   : L"Playable check";
}

const wchar_t* WhatIsOff(HandleUse use)
{
    return use == HandleUse::Sound ? L"; sounds are off" : L"";
}

// libmpv's wakeup callback, called on libmpv's threads when an event is queued: it may only
// wake the loop, which then takes the event on its own thread.
void WakeTheLoop(void*)
{
    WakeMessageLoop();
}

}  // namespace

std::string PlayableFile(const std::wstring& path)
{
    if (path.empty())
        return {};
    const std::wstring real = ResolvePath(path);
    if (!IsFile(real))
        return {};
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(ToUtf8(real), error);
    if (error || std::filesystem::file_size(absolute, error) == 0 || error)
        return {};
    return absolute.string();
}

MpvHandle::MpvHandle(HandleUse use) : m_use(use)
{
    // libmpv parses numbers with the C library and refuses to start under a locale with a
    // decimal comma.
    std::setlocale(LC_NUMERIC, "C");
    if (use != HandleUse::Probe)
        audio::QuietenSoundLibraries();
    m_mpv = mpv_create();
    if (m_mpv == nullptr) {
        TraceF(L"%ls: libmpv could not be created%ls\n", TraceName(use), WhatIsOff(use));
        return;
    }
    for (const Option& option : kCommonOptions)
        mpv_set_option_string(m_mpv, option.name, option.value);
    for (const Option& option : OptionsFor(use))
        mpv_set_option_string(m_mpv, option.name, option.value);
    if (mpv_initialize(m_mpv) < 0) {
        TraceF(L"%ls: libmpv could not be initialised%ls\n", TraceName(use), WhatIsOff(use));
        mpv_terminate_destroy(m_mpv);
        m_mpv = nullptr;
    }
}

MpvHandle::~MpvHandle()
{
    if (m_mpv != nullptr)
        mpv_terminate_destroy(m_mpv);
}

bool MpvHandle::LoadAndWait(const std::string& file, std::chrono::milliseconds timeout)
{
    if (m_mpv == nullptr || file.empty())
        return false;
    const std::optional<std::int64_t> entry = Load(file);
    if (!entry)
        return false;
    // Events of earlier entries (the previous file's stop and end) may still be queued: they
    // are passed over by their entry id, so one file's end is never taken for the next's.
    bool started = false;
    const Outcome outcome = WaitFor(
        [&](const mpv_event& event) {
            switch (event.event_id) {
            case MPV_EVENT_START_FILE:
                started = static_cast<const mpv_event_start_file*>(event.data)->playlist_entry_id ==
                    *entry;
                return Outcome::Pending;
            case MPV_EVENT_FILE_LOADED:
                if (!started)
                    return Outcome::Pending;
                return m_use != HandleUse::Probe || HasTracks() ? Outcome::Yes : Outcome::Pending;
            case MPV_EVENT_END_FILE: {
                const auto* end = static_cast<const mpv_event_end_file*>(event.data);
                if (end->playlist_entry_id != *entry)
                    return Outcome::Pending;
                // A probed sound of a tenth of a second can be over, its tracks gone, before
                // they are asked for: played to its end, it plays.
                const bool playedToItsEnd =
                    m_use == HandleUse::Probe && end->reason == MPV_END_FILE_REASON_EOF;
                return playedToItsEnd ? Outcome::Yes : Outcome::No;
            }
            case MPV_EVENT_SHUTDOWN:
                return Outcome::No;
            default:
                return Outcome::Pending;
            }
        },
        timeout);
    if (outcome == Outcome::Pending && !IsClosing())
        TraceF(L"%ls: the file was not opened in time\n", TraceName(m_use));
    return outcome == Outcome::Yes;
}

std::optional<std::int64_t> MpvHandle::Load(const std::string& file)
{
    const char* load[] = { "loadfile", file.c_str(), "replace", nullptr };
    mpv_node result{};
    if (mpv_command_ret(m_mpv, load, &result) < 0)
        return std::nullopt;
    std::optional<std::int64_t> entry;
    if (result.format == MPV_FORMAT_NODE_MAP) {
        for (int i = 0; i < result.u.list->num; ++i) {
            const mpv_node& value = result.u.list->values[i];
            if (std::string(result.u.list->keys[i]) == "playlist_entry_id" &&
                value.format == MPV_FORMAT_INT64)
                entry = value.u.int64;
        }
    }
    mpv_free_node_contents(&result);
    return entry;
}

bool MpvHandle::HasTracks() const
{
    std::int64_t tracks = 0;
    return mpv_get_property(m_mpv, "track-list/count", MPV_FORMAT_INT64, &tracks) >= 0 &&
        tracks > 0;
}

void MpvHandle::StopAndWait(std::chrono::milliseconds timeout)
{
    if (m_mpv == nullptr)
        return;
    const auto nothingDecides = [](const mpv_event&) { return Outcome::Pending; };
    // Already idle (the file was given up): its events are queued; taking them is enough.
    int idle = 0;
    if (mpv_get_property(m_mpv, "idle-active", MPV_FORMAT_FLAG, &idle) >= 0 && idle != 0) {
        TakeEvents(nothingDecides);
        return;
    }
    const char* stop[] = { "stop", nullptr };
    if (mpv_command(m_mpv, stop) < 0)
        return;
    WaitFor(
        [](const mpv_event& event) {
            if (event.event_id == MPV_EVENT_IDLE || event.event_id == MPV_EVENT_SHUTDOWN)
                return Outcome::Yes;
            return Outcome::Pending;
        },
        timeout);
}

template <typename Decide> MpvHandle::Outcome MpvHandle::TakeEvents(Decide decide)
{
    for (;;) {
        const mpv_event* event = mpv_wait_event(m_mpv, 0);
        if (event == nullptr || event->event_id == MPV_EVENT_NONE)
            return Outcome::Pending;
        const Outcome outcome = decide(*event);
        if (outcome != Outcome::Pending)
            return outcome;
    }
}

template <typename Decide>
MpvHandle::Outcome MpvHandle::WaitFor(Decide decide, std::chrono::milliseconds timeout)
{
    Outcome outcome = Outcome::Pending;
    // Only for the wait: outside it nobody takes this handle's events, and the loop is
    // not woken for them.
    mpv_set_wakeup_callback(m_mpv, WakeTheLoop, nullptr);
    RunModalLoop(
        [&] {
            if (outcome == Outcome::Pending)
                outcome = TakeEvents(decide);
            return outcome != Outcome::Pending;
        },
        ModalServe::PaintsOnly, static_cast<DWORD>(timeout.count()));
    mpv_set_wakeup_callback(m_mpv, nullptr, nullptr);
    return outcome;
}

}  // namespace platform::mpv
