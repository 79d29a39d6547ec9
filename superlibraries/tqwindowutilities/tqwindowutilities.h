// Two free-standing window utilities: the task bar with the desktop's work area, and the
// readable names of a window style word.
#pragma once

#include "platform/types.h"

#include <string>

// Hides (false) or shows (true) the task bar, and moves the bottom edge of the work area
// by the task bar's height: down when hiding, up when showing. Keeps no state, so hiding
// twice moves it twice. Without a task bar nothing changes. Hidden docks are guarded: they
// come back when the process ends without showing them (killed, crashed).
void ShowTaskBar(bool Show);

// One style name per line ("Caption\n"...), for every name whose bits the style shares;
// several names share a bit. Empty for 0.
std::wstring GetWindowStyleNames(DWORD Style);
