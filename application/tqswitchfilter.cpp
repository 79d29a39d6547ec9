#include "application/tqswitchfilter.h"

#include "platform/messageloop.h"

namespace {

// The X server repeats a held key as a release and a press at the same moment; no hand lets
// go and presses again within this.
constexpr int kAutoRepeatGapMs = 2;

// a - b on a clock that wraps, as a signed span.
int Span(DWORD a, DWORD b)
{
    return static_cast<int>(a - b);
}

bool IsController(CTQSwitchFilter::TSwitch which)
{
    return which == CTQSwitchFilter::PadChoose || which == CTQSwitchFilter::PadBack;
}

}  // namespace

CTQSwitchFilter::CTQSwitchFilter(HWND view, const TSwitchSettings& settings)
    : m_hView(view), m_Settings(settings)
{
}

CTQSwitchFilter::~CTQSwitchFilter()
{
    for (int which = 0; which < SwitchCount; ++which)
        KillHoldTimer(static_cast<TSwitch>(which));
}

bool CTQSwitchFilter::IsFilterTimer(UINT_PTR timerId)
{
    return timerId >= FirstTimerId && timerId < FirstTimerId + SwitchCount;
}

DWORD CTQSwitchFilter::EventTime(TSwitch which, DWORD time)
{
    const DWORD now = platform::GetTickCount();
    if (IsController(which))
        return time;
    if (time == 0)
        return now - static_cast<DWORD>(m_nServerOffset);
    const int offset = Span(now, time);
    if (!m_bServerOffsetKnown || offset < m_nServerOffset) {
        m_bServerOffsetKnown = true;
        m_nServerOffset = offset;
    }
    return time;
}

DWORD CTQSwitchFilter::LoopTimeOf(TSwitch which, DWORD time) const
{
    return IsController(which) ? time : time + static_cast<DWORD>(m_nServerOffset);
}

bool CTQSwitchFilter::IsAutoRepeat(const TState& state, DWORD time) const
{
    // A press while down, or one that follows its release at once.
    return state.Down || (state.HasUp && Span(time, state.UpTime) <= kAutoRepeatGapMs);
}

bool CTQSwitchFilter::IgnoredAsRepeat(const TState& state, DWORD time) const
{
    return m_Settings.RepeatIgnoreTime > 0 && state.HasCounted &&
        Span(time, state.CountTime) < m_Settings.RepeatIgnoreTime;
}

void CTQSwitchFilter::Count(TState& state, DWORD when)
{
    state.Counted = true;
    state.HasCounted = true;
    state.CountTime = when;
}

bool CTQSwitchFilter::OnDown(TSwitch which, DWORD time)
{
    if (!IsActive())
        return true;
    const DWORD eventTime = EventTime(which, time);
    TState& state = m_States[which];
    if (IsAutoRepeat(state, eventTime)) {
        // The same press goes on: a held press whose threshold is still ahead waits again.
        state.Down = true;
        if (!state.Counted)
            ArmHoldTimer(which);
        return false;
    }
    state.Down = true;
    state.Counted = false;
    state.DownTime = eventTime;
    if (IgnoredAsRepeat(state, eventTime)) {
        state.Counted = true;  // taken as done: neither the hold timer nor the release counts it
        return false;
    }
    if (m_Settings.HoldTime > 0) {
        ArmHoldTimer(which);
        return false;
    }
    Count(state, eventTime);
    return true;
}

bool CTQSwitchFilter::OnUp(TSwitch which, DWORD time)
{
    if (!IsActive())
        return false;
    const DWORD eventTime = EventTime(which, time);
    TState& state = m_States[which];
    if (!state.Down)
        return false;
    state.Down = false;
    state.HasUp = true;
    state.UpTime = eventTime;
    KillHoldTimer(which);
    if (state.Counted || Span(eventTime, state.DownTime) < m_Settings.HoldTime)
        return false;
    // Held long enough, but the threshold passed while the board was busy.
    Count(state, state.DownTime + static_cast<DWORD>(m_Settings.HoldTime));
    return true;
}

int CTQSwitchFilter::OnTimer(UINT_PTR timerId)
{
    if (!IsFilterTimer(timerId))
        return -1;
    const auto which = static_cast<TSwitch>(timerId - FirstTimerId);
    KillHoldTimer(which);
    TState& state = m_States[which];
    if (!state.Down || state.Counted)
        return -1;
    Count(state, state.DownTime + static_cast<DWORD>(m_Settings.HoldTime));
    return which;
}

void CTQSwitchFilter::ArmHoldTimer(TSwitch which)
{
    // A timer tick waits until no input is queued, so a release already queued behind the
    // press is seen first; a threshold already passed fires on the next idle moment.
    const TState& state = m_States[which];
    const DWORD threshold =
        LoopTimeOf(which, state.DownTime + static_cast<DWORD>(m_Settings.HoldTime));
    const int due = Span(threshold, platform::GetTickCount());
    platform::SetTimer(m_hView, FirstTimerId + which, due > 0 ? static_cast<UINT>(due) : 0,
                       nullptr);
}

void CTQSwitchFilter::KillHoldTimer(TSwitch which)
{
    platform::KillTimer(m_hView, FirstTimerId + which);
}
