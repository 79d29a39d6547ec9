#include "platform/common/closesignals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace platform::closesignals {
namespace {

std::atomic<bool> g_signalled{ false };  // lock-free, so safe in a handler
static_assert(std::atomic<bool>::is_always_lock_free);
std::atomic<HWND> g_target{ 0 };
std::atomic<int> g_wakeFd{ -1 };

void OnSignal(int)
{
    const int saved = errno;
    g_signalled = true;
    const int fd = g_wakeFd.load();
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = write(fd, &byte, 1);
    }
    errno = saved;
}

}  // namespace

void Install(HWND window, int wakeFd)
{
    g_target = window;
    g_wakeFd = wakeFd;
    struct sigaction action { };
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : { SIGTERM, SIGINT, SIGHUP })
        sigaction(signal, &action, nullptr);
}

HWND Take()
{
    if (!g_signalled.exchange(false))
        return 0;
    return g_target.load();
}

bool Pending()
{
    return g_signalled.load() && g_target.load() != 0;
}

}  // namespace platform::closesignals
