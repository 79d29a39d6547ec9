#include "platform/common/runcommand.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

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

bool Spawn(const std::vector<std::string>& argv, int inputFd, pid_t& pid)
{
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Default signal handling, nothing blocked, and a process group of its own, so that a
    // program that starts others can be ended with all of them.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    const int error =
        posix_spawnp(&pid, pointers.front(), &actions, &attributes, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
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

bool IsExecutableFile(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool CanRunCommand(const std::string& program)
{
    if (program.empty())
        return false;
    if (program.find('/') != std::string::npos)
        return IsExecutableFile(program);
    const char* variable = std::getenv("PATH");
    const std::string folders = variable ? variable : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        if (IsExecutableFile(folder + "/" + program))
            return true;
        start = end + 1;
    }
    return false;
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
