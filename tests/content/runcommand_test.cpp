// The helper-program runner: a program that hangs is ended with what it started, within
// the limit; one that does not read its input cannot end ours; a missing one is told.
#include "platform/common/runcommand.h"
#include "tests/foundation/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

namespace {

// The state letter of /proc/<pid>/stat ('R', 'S', 'Z', ...); 0 when there is no such process.
char ProcessState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return 0;
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

}  // namespace

TEST(RunCommand, AProgramPastTheLimitIsEndedWithWhatItStarted)
{
    TempFolder folder;
    const std::string pidFile = (folder.Root / "child.pid").string();
    const auto start = std::chrono::steady_clock::now();
    const platform::CommandResult result = platform::RunCommand(
        { "sh", "-c", "sleep 30 & echo $! > '" + pidFile + "'; wait" }, "", 300);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_LT(took, std::chrono::seconds(5));

    const pid_t child = static_cast<pid_t>(std::stoi(folder.Read("child.pid")));
    // Ended, the orphaned sleep waits for the system's first process to reap it: a zombie
    // counts as ended.
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = ::kill(child, 0) != 0 || ProcessState(child) == 'Z';
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone) << "the program's own child is ended with it";
}

TEST(RunCommand, InputItDoesNotReadAndExitCodesAreReported)
{
    // A megabyte on standard input for a program that reads none of it and exits: our
    // process must not die of SIGPIPE, and the wait must not hang on the full pipe.
    const platform::CommandResult ignored =
        platform::RunCommand({ "true" }, std::string(1 << 20, 'x'), 5000);
    EXPECT_TRUE(ignored.started);
    EXPECT_FALSE(ignored.timedOut);
    EXPECT_EQ(ignored.exitCode, 0);

    const platform::CommandResult failed =
        platform::RunCommand({ "sh", "-c", "read line; exit ${#line}" }, "four\n", 5000);
    EXPECT_EQ(failed.exitCode, 4) << "the input arrived and the exit code came back";

    const platform::CommandResult missing =
        platform::RunCommand({ "no-such-program-here" }, "", 5000);
    EXPECT_FALSE(missing.started);
    EXPECT_FALSE(platform::CanRunCommand("no-such-program-here"));
    EXPECT_TRUE(platform::CanRunCommand("sh"));
    EXPECT_FALSE(platform::CanRunCommand("/etc/passwd")) << "not executable";
}
