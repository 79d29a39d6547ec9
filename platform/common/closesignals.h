// SIGTERM, SIGINT and SIGHUP turned into a close request, shared by both message loops. The
// handler only sets a flag and writes a byte to the loop's wake pipe (when it has one); the
// loop then takes the request and posts WM_CLOSE itself, outside the handler.
#pragma once

#include "platform/types.h"

namespace platform::closesignals {

// From now on the three signals ask for a close of window; wakeFd (-1: none) is written to.
void Install(HWND window, int wakeFd);
// The window whose close a signal asked for since the last call, 0 when none.
HWND Take();
// A signal asked for a close that nobody has taken yet.
bool Pending();

}  // namespace platform::closesignals
