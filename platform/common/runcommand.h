// Runs a helper program to its end: without a shell, with a text on its standard input, and
// for a bounded time. For tools that call a program once and wait for its answer (a voice
// command that writes a sound file), not for the programs the board starts and shows.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct CommandResult {
    bool started = false;   // false: no such program, or it could not be started
    bool timedOut = false;  // it ran past the limit and was ended (its whole process group)
    int exitCode = -1;      // its exit code when it ended by itself; -1 otherwise
    int signal = 0;         // the signal that ended it, when one did
};

// Starts argv[0] (a bare name is looked up in PATH, as a shell does) with argv, in a
// process group of its own, with input on its standard input (then closed), its standard
// output sent to our standard error (so that its chatter does not mix with our report)
// and its standard error to ours. Waits at most timeoutMs for it to end; past that, the
// group gets SIGKILL.
CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutMs);

// Whether RunCommand can start the program: a name with "/" that is an executable file, or
// a bare name found so in PATH.
bool CanRunCommand(const std::string& program);

}  // namespace platform
