// The switch filter: decides which presses of the board's switches count, before anything
// else sees them. The switches are the watched Enter and space keys and the controller's
// choose and back switches; mouse clicks never pass here.
//
// With a hold time a press counts once the switch has been held that long, at that moment
// and while still held; shorter presses do nothing. With a repeat-ignore time, presses of
// the same switch that begin within that time after a counted one do nothing. With either
// on, a held switch is one press, however often its key repeats. With both off every press,
// each auto-repeat included, counts at once.
//
// Every decision is taken on the times the presses were made (the X server's event times
// for keys, the reading's time for the controller), not on when the board got round to
// them: a busy board neither splits one long press nor joins two short ones.
#pragma once

#include "application/tqstartupsettings.h"
#include "platform/types.h"

#include <array>

class CTQSwitchFilter {
public:
    enum TSwitch { EnterKey, SpaceKey, PadChoose, PadBack, SwitchCount };
    // The view's timers used for the hold times, one per switch.
    static constexpr UINT_PTR FirstTimerId = 40;

    // view: the window whose timers tell when a held press reaches the hold time (WM_TIMER
    // with FirstTimerId + switch, handed to OnTimer).
    CTQSwitchFilter(HWND view, const TSwitchSettings& settings);
    ~CTQSwitchFilter();
    CTQSwitchFilter(const CTQSwitchFilter&) = delete;
    CTQSwitchFilter& operator=(const CTQSwitchFilter&) = delete;

    bool IsActive() const { return m_Settings.IsActive(); }

    // A press or release of a switch at time, on the switch's own clock (keys: the X server's,
    // 0 when unknown; the controller: the loop's). True when the press counts now.
    bool OnDown(TSwitch which, DWORD time);
    // True when the release shows a press held long enough whose threshold passed while the
    // board was busy: it counts now.
    bool OnUp(TSwitch which, DWORD time);
    // A timer of this filter: the switch whose held press counts now, or -1.
    int OnTimer(UINT_PTR timerId);
    static bool IsFilterTimer(UINT_PTR timerId);

    // The time the switch's last press began, on the switch's own clock (for the message-box
    // test of a press that counts later).
    DWORD GetPressTime(TSwitch which) const { return m_States[which].DownTime; }

private:
    // Times on the switch's own clock: only differences between them are taken.
    struct TState {
        bool Down = false;
        bool Counted = false;     // this press has counted
        bool HasCounted = false;  // some press of this switch has counted
        bool HasUp = false;       // UpTime is a release
        DWORD DownTime = 0;
        DWORD UpTime = 0;     // of the last release
        DWORD CountTime = 0;  // when the last counted press counted
    };

    // The event's time, now on the loop's clock when unknown; learns the X server's offset.
    DWORD EventTime(TSwitch which, DWORD time);
    // A time of the switch's clock on the loop's clock.
    DWORD LoopTimeOf(TSwitch which, DWORD time) const;
    bool IsAutoRepeat(const TState& state, DWORD time) const;
    bool IgnoredAsRepeat(const TState& state, DWORD time) const;
    void Count(TState& state, DWORD when);
    void ArmHoldTimer(TSwitch which);
    void KillHoldTimer(TSwitch which);

    HWND m_hView = 0;
    TSwitchSettings m_Settings;
    std::array<TState, SwitchCount> m_States{};
    // The X server's clock runs apart from the loop's: the smallest (loop - server)
    // difference seen is the least delayed event's, the best estimate of the offset. It only
    // places the hold timer; the decisions compare event times with each other.
    bool m_bServerOffsetKnown = false;
    int m_nServerOffset = 0;
};
