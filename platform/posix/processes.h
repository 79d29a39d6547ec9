// Processes the board started: whether one has ended (reaping it when it has).
#pragma once

#include "platform/types.h"

namespace platform::posix {

bool ProcessHasEnded(DWORD processId);

}  // namespace platform::posix
