#include "platform/common/windowstyle.h"

#include "platform/desktop.h"

namespace platform {

namespace {

// Motif window-manager hint decoration bits.
constexpr unsigned long MWM_DECOR_ALL = 1UL << 0;
constexpr unsigned long MWM_DECOR_BORDER = 1UL << 1;
constexpr unsigned long MWM_DECOR_RESIZEH = 1UL << 2;
constexpr unsigned long MWM_DECOR_TITLE = 1UL << 3;
constexpr unsigned long MWM_DECOR_MENU = 1UL << 4;
constexpr unsigned long MWM_DECOR_MINIMIZE = 1UL << 5;
constexpr unsigned long MWM_DECOR_MAXIMIZE = 1UL << 6;

struct DecorationBit {
    unsigned long decoration;
    DWORD style;
};
constexpr DecorationBit kDecorationBits[] = {
    { MWM_DECOR_BORDER, WS_BORDER },        { MWM_DECOR_TITLE, WS_CAPTION },
    { MWM_DECOR_RESIZEH, WS_THICKFRAME },   { MWM_DECOR_MENU, WS_SYSMENU },
    { MWM_DECOR_MINIMIZE, WS_MINIMIZEBOX }, { MWM_DECOR_MAXIMIZE, WS_MAXIMIZEBOX },
};

// The frame bits a decorated window of this kind has by default.
DWORD DefaultFrame(WindowFacts::Kind kind)
{
    switch (kind) {
    case WindowFacts::Kind::Normal:
        return WS_OVERLAPPEDWINDOW;
    case WindowFacts::Kind::Dialog:
    case WindowFacts::Kind::Tool:
        return WS_CAPTION | WS_SYSMENU;
    default:
        return 0;
    }
}

DWORD FrameFromHint(unsigned long hint)
{
    // With MWM_DECOR_ALL the other bits name the parts taken away.
    const bool all = hint & MWM_DECOR_ALL;
    DWORD frame = 0;
    for (const DecorationBit& bit : kDecorationBits) {
        if (((hint & bit.decoration) != 0) != all)
            frame |= bit.style;
    }
    return frame;
}

}  // namespace

DWORD DeriveWindowStyle(const WindowFacts& facts)
{
    DWORD style = facts.mapped ? WS_VISIBLE : 0;
    if (!facts.topLevel)
        return style | WS_CHILD;
    const bool popupKind = facts.kind == WindowFacts::Kind::Popup ||
        facts.kind == WindowFacts::Kind::Dock || facts.kind == WindowFacts::Kind::Desktop;
    if (facts.overrideRedirect || facts.transient || popupKind)
        style |= WS_POPUP;
    if (!facts.overrideRedirect) {
        style |= facts.hasDecorationHint ? FrameFromHint(facts.decorationHint)
                                         : DefaultFrame(facts.kind);
    }
    if (facts.maximized)
        style |= WS_MAXIMIZE;
    if (facts.minimized)
        style |= WS_MINIMIZE;
    return style;
}

DWORD DeriveWindowExStyle(const WindowFacts& facts)
{
    DWORD exStyle = 0;
    if (facts.above)
        exStyle |= WS_EX_TOPMOST;
    if (facts.kind == WindowFacts::Kind::Tool)
        exStyle |= WS_EX_TOOLWINDOW;
    return exStyle;
}

unsigned long DecorationsOfStyle(DWORD style)
{
    unsigned long decorations = 0;
    for (const DecorationBit& bit : kDecorationBits) {
        if ((style & bit.style) == bit.style)
            decorations |= bit.decoration;
    }
    return decorations;
}

}  // namespace platform
