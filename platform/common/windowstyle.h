// The style word of another program's window, derived from what the desktop says about it
// (on X: its properties), and the decorations that a written-back style asks for.
#pragma once

#include "platform/types.h"

namespace platform {

struct WindowFacts {
    enum class Kind {
        Normal,  // normal or unknown window type
        Dialog,
        Tool,   // utility or toolbar
        Popup,  // menu, drop-down, tooltip, notification, combo, drag-and-drop, splash
        Dock,
        Desktop,
    };
    bool topLevel = true;
    bool overrideRedirect = false;
    bool transient = false;  // has an owner (transient-for)
    Kind kind = Kind::Normal;
    // The window's own decoration wishes (Motif hints); unset: the window manager's
    // defaults for its kind.
    bool hasDecorationHint = false;
    unsigned long decorationHint = 0;  // MWM_DECOR_* bits
    bool maximized = false;            // both directions
    bool minimized = false;
    bool mapped = false;
    bool above = false;  // kept above other windows
};

DWORD DeriveWindowStyle(const WindowFacts& facts);
DWORD DeriveWindowExStyle(const WindowFacts& facts);

// MWM_DECOR_* bits for a style: the frame parts that its caption, frame, system-menu and
// box bits keep.
unsigned long DecorationsOfStyle(DWORD style);

}  // namespace platform
