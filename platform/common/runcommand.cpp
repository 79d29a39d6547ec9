#include "platform/common/runcommand.h"

#include "platform/posix/spawn.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// The time to the deadline in ms for poll, never negative.
int MillisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// A descriptor closed when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) { }
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    void Close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd;
};

// The program's output goes to our standard error, so that its chatter does not mix with
// our report; a process group of its own lets one that starts others be ended with them.
bool Spawn(const std::vector<std::string>& argv, int inputFd, pid_t& pid)
{
    posix::SpawnOptions options;
    options.standardInput = inputFd;
    options.outputToStandardError = true;
    options.searchPath = true;
    return posix::Spawn(argv, options, pid);
}

// Writes the input until it is all written, the program closes its end, or the deadline.
// SIGPIPE is held back on this thread while writing, and one it raised is taken away, so
// that a program that does not read its input cannot end ours.
void WriteInput(int fd, const std::string& input, Clock::time_point deadline)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;

    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(fd, input.data() + written, input.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN) {
            pollfd ready{ fd, POLLOUT, 0 };
            if (::poll(&ready, 1, MillisecondsLeft(deadline)) <= 0 ||
                (ready.revents & (POLLERR | POLLHUP)) != 0)
                break;
            continue;
        }
        break;  // EPIPE: the program does not read its input
    }

    sigpending(&pending);
    if (!alreadyPending && sigismember(&pending, SIGPIPE) == 1) {
        const timespec now{ 0, 0 };
        sigtimedwait(&pipeSignal, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

// Waits for the child until the deadline; true with its status when it has ended.
bool WaitUntil(pid_t pid, Clock::time_point deadline, int& status)
{
    while (true) {
        const pid_t result = ::waitpid(pid, &status, WNOHANG);
        if (result == pid)
            return true;
        if (result < 0 && errno != EINTR) {
            status = 0;
            return true;  // not our child any more: nothing to wait for
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace

bool CanRunCommand(const std::string& program)
{
    if (program.empty())
        return false;
    if (program.find('/') != std::string::npos)
        return posix::IsExecutableFile(program);
    return !posix::FindInPath(program).empty();
}

CommandResult RunCommand(const std::vector<std::string>& argv, const std::string& input,
                         int timeoutMs)
{
    CommandResult result;
    if (argv.empty() || argv.front().empty())
        return result;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return result;
    Descriptor readEnd(ends[0]);
    Descriptor writeEnd(ends[1]);

    pid_t pid = 0;
    if (!Spawn(argv, readEnd.Get(), pid))
        return result;
    result.started = true;
    readEnd.Close();

    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    ::fcntl(writeEnd.Get(), F_SETFL, ::fcntl(writeEnd.Get(), F_GETFL) | O_NONBLOCK);
    WriteInput(writeEnd.Get(), input, deadline);
    writeEnd.Close();

    int status = 0;
    if (!WaitUntil(pid, deadline, status)) {
        // A program this late is stuck: it and whatever it started end at once. The group
        // is signalled before its leader is reaped, so its number cannot belong to another.
        result.timedOut = true;
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    if (WIFEXITED(status) && !result.timedOut)
        result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

}  // namespace platform
