#include "superlibraries/tqwindowutilities/tqwindowutilities.h"

#include "platform/desktop.h"

#include <array>
#include <vector>

namespace {

struct TStyleName {
    DWORD Mask;
    const wchar_t* Text;
};

// In this order; the two rows with mask 0 never match.
constexpr std::array<TStyleName, 26> kStyleNames = { {
    { 0x00800000, L"Border\n" },        { 0x00C00000, L"Caption\n" },
    { 0x40000000, L"Child\n" },         { 0x02000000, L"Clip Children\n" },
    { 0x04000000, L"Clip Siblings\n" }, { 0x08000000, L"Disabled\n" },
    { 0x00400000, L"Dlg Frame\n" },     { 0x00020000, L"Group\n" },
    { 0x00100000, L"HScroll\n" },       { 0x20000000, L"Iconic\n" },
    { 0x01000000, L"Maximize\n" },      { 0x00010000, L"MaximizeBox\n" },
    { 0x20000000, L"Minimize\n" },      { 0x00020000, L"Minimize Box\n" },
    { 0x00000000, L"Overlapped\n" },    { 0x00CF0000, L"Overlapped Window\n" },
    { 0x80000000, L"Popup\n" },         { 0x80880000, L"Popup Window\n" },
    { 0x00040000, L"Size Box\n" },      { 0x00080000, L"Sys Meny\n" },
    { 0x00010000, L"Tab Stop\n" },      { 0x00040000, L"Thick Frame\n" },
    { 0x00000000, L"Tiled\n" },         { 0x00CF0000, L"Tiled Window\n" },
    { 0x10000000, L"Visible\n" },       { 0x00200000, L"VScroll\n" },
} };

}  // namespace

void ShowTaskBar(bool Show)
{
    RECT rectWorkArea{};
    RECT rectTaskBar{};
    const std::vector<HWND> taskBars = platform::FindDockWindows();
    rectWorkArea = platform::GetWorkArea();
    if (taskBars.empty())
        return;
    // The first dock window counts as the task bar; any others go and come with it.
    rectTaskBar = platform::GetWindowRect(taskBars.front());
    const int height = rectTaskBar.bottom - rectTaskBar.top;
    rectWorkArea.bottom += Show ? -height : height;
    platform::SetWorkArea(rectWorkArea);
    // Guarded before they go, so that no moment leaves them hidden for good; released once
    // they are back.
    if (!Show)
        platform::GuardHiddenDockWindows(taskBars);
    for (const HWND taskBar : taskBars)
        platform::ShowWindowCommand(taskBar, Show ? platform::SW_SHOW : platform::SW_HIDE);
    if (Show)
        platform::ReleaseDockWindowGuard();
}

std::wstring GetWindowStyleNames(DWORD Style)
{
    std::wstring names;
    for (const TStyleName& row : kStyleNames) {
        if (row.Mask & Style)
            names += row.Text;
    }
    return names;
}
