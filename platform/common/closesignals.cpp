#include "platform/common/closesignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform::closesignals {
namespace {

volatile std::sig_atomic_t g_signalled = 0;
std::atomic<HWND> g_target{0};
std::atomic<int> g_wakeFd{-1};

void OnSignal(int)
{
    const int saved = errno;
    g_signalled = 1;
    const int fd = g_wakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

void Install(HWND window, int wakeFd)
{
    g_target = window;
    g_wakeFd = wakeFd;
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

HWND Take()
{
    if (!g_signalled)
        return 0;
    g_signalled = 0;
    return g_target.load();
}

bool Pending()
{
    return g_signalled != 0 && g_target.load() != 0;
}

} // namespace platform::closesignals
