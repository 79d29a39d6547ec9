// Starting a program without a shell, the one way every part of the board does it: with the
// board's environment, default signal handling and nothing blocked, in a process group or a
// session of its own, and with no descriptor of the board above standard error inherited.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::posix {

// What keeps the program apart from the board's terminal and signals.
enum class Detach {
    ProcessGroup,  // a group of its own: it and all it starts can be signalled at once
    Session,       // a session of its own: not even a hang-up of the terminal reaches it
};

struct SpawnOptions {
    Detach detach = Detach::ProcessGroup;
    int standardInput = -1;              // put on its standard input when not negative
    bool outputToStandardError = false;  // its standard output goes to our standard error
    std::string startFolder;             // its current folder when not empty
    bool searchPath = false;             // a bare argv[0] is looked up in PATH, as a shell does
};

// Starts argv[0] with argv; pid is the started process. False when it could not be started.
bool Spawn(const std::vector<std::string>& argv, const SpawnOptions& options, pid_t& pid);

// Whether path names a regular file we may execute.
bool IsExecutableFile(const std::string& path);

// The path under the first folder of PATH that holds name as an executable file (an empty
// entry stands for the current folder); empty when none does.
std::string FindInPath(const std::string& name);

}  // namespace platform::posix
