// The game controller on the real board: the time from a button press on a virtual
// controller to the view's choice, and the CPU the board's threads use while it idles with
// a controller attached. Runs the board in-process on $DISPLAY (the virtual controller lives
// in this process), in standard mode on the given content folder:
//   joystick_latency CONTENT_FOLDER [presses]
#include "application/mainfrm.h"
#include "application/orlido.h"
#include "application/orlidoview.h"
#include "platform/joystick.h"
#include "platform/messageloop.h"
#include "platform/sdl/sdl_joystick_testing.h"
#include "superlibraries/tqdewindows/tqdewindowsnew.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<std::int64_t> g_deliveredNs{ 0 };

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// Nanoseconds each thread of this process has run, by thread id (scheduler statistics).
std::vector<std::pair<int, std::int64_t>> ThreadCpu()
{
    std::vector<std::pair<int, std::int64_t>> result;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return result;
    while (dirent* entry = readdir(dir)) {
        const int tid = std::atoi(entry->d_name);
        if (tid <= 0)
            continue;
        std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/schedstat");
        std::int64_t ns = 0;
        stat >> ns;
        result.emplace_back(tid, ns);
    }
    closedir(dir);
    return result;
}

std::int64_t CpuOfOthers(const std::set<int>& excluded)
{
    std::int64_t sum = 0;
    for (const auto& [tid, ns] : ThreadCpu())
        if (!excluded.count(tid))
            sum += ns;
    return sum;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CONTENT_FOLDER [presses]\n", argv[0]);
        return 2;
    }
    const int presses = argc > 2 ? std::atoi(argv[2]) : 30;

    platform::JoystickSystem system;  // keeps the virtual controller alive
    const int handle = platform::sdl_testing::AttachVirtualJoystick("Orlido Bench Switch", 2, 12);
    if (!system.IsUp() || handle < 0) {
        std::fprintf(stderr, "no virtual controller\n");
        return 1;
    }

    COrlidoApp app;
    if (!app.InitInstance({ "--content", argv[1] }))
        return 1;
    COrlidoView* view = app.GetView();
    const HWND window = app.GetMainFrame()->GetSafeHwnd();
    platform::SetWindowProc(window, [&](const platform::Message& message) {
        if (message.message == WM_CLOSE) {
            app.OnCloseMainFrame();
            return;
        }
        if (message.message == WM_TQ_KEYDOWN)
            g_deliveredNs = NowNs();
        view->WindowProc(message);
    });

    std::vector<double> latenciesMs;
    double idlePercent = 0;
    double idleUiPercent = 0;
    std::thread presser([&] {
        const std::set<int> excluded{ static_cast<int>(getpid()), static_cast<int>(gettid()) };
        std::this_thread::sleep_for(std::chrono::seconds(2));  // start-up settles
        std::mt19937 random(1);
        std::uniform_int_distribution<int> phase(0, 80);
        for (int i = 0; i < presses; ++i) {
            // Far apart, so that the sound of the previous choice has ended: a choice made
            // while one is under way waits for it.
            std::this_thread::sleep_for(std::chrono::milliseconds(2000 + phase(random)));
            g_deliveredNs = 0;
            const std::int64_t pressed = NowNs();
            platform::sdl_testing::SetVirtualButton(handle, 0, true);
            while (g_deliveredNs == 0 && NowNs() - pressed < 2'000'000'000)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            if (g_deliveredNs != 0 && i > 0)  // the first loads the sound library
                latenciesMs.push_back((g_deliveredNs - pressed) / 1e6);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            platform::sdl_testing::SetVirtualButton(handle, 0, false);
        }
        std::this_thread::sleep_for(std::chrono::seconds(2));  // the last sound ends
        const std::set<int> presserOnly{ static_cast<int>(gettid()) };
        const auto threadsBefore = ThreadCpu();
        const std::int64_t before = CpuOfOthers(excluded);
        const std::int64_t beforeAll = CpuOfOthers(presserOnly);
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(20));
        const double wallNs =
            std::chrono::duration<double, std::nano>(Clock::now() - start).count();
        const std::int64_t others = CpuOfOthers(excluded) - before;
        // Each thread in creation order: the controller subsystem's first, then the
        // controller object's two workers, the view's worker, and the sound library's.
        for (const auto& [tid, ns] : ThreadCpu()) {
            std::int64_t was = 0;
            for (const auto& [oldTid, oldNs] : threadsBefore)
                if (oldTid == tid)
                    was = oldNs;
            std::printf("thread %d: %.3f %% of one core\n", tid,
                        100.0 * static_cast<double>(ns - was) / wallNs);
        }
        idlePercent = 100.0 * static_cast<double>(others) / wallNs;
        idleUiPercent =
            100.0 * static_cast<double>(CpuOfOthers(presserOnly) - beforeAll - others) / wallNs;
        platform::PostMessage(window, WM_CLOSE, 0, 0);
    });
    platform::RunMessageLoop();
    presser.join();
    app.ExitInstance();

    std::sort(latenciesMs.begin(), latenciesMs.end());
    if (latenciesMs.empty()) {
        std::printf("no press reached the view\n");
        return 1;
    }
    double sum = 0;
    for (double l : latenciesMs)
        sum += l;
    std::printf("button press to the view's choice, %zu presses: min %.1f ms, median %.1f ms, mean "
                "%.1f ms, max %.1f ms\n",
                latenciesMs.size(), latenciesMs.front(), latenciesMs[latenciesMs.size() / 2],
                sum / latenciesMs.size(), latenciesMs.back());
    std::printf("idle CPU over 20 s: %.3f %% of one core for the workers (every thread but the "
                "user-interface "
                "thread), %.3f %% for the user-interface thread\n",
                idlePercent, idleUiPercent);
    return 0;
}
