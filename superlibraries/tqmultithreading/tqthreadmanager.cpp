#include "superlibraries/tqmultithreading/tqthreadmanager.h"

#include <chrono>
#include <functional>
#include <system_error>

#include "platform/files.h"

namespace {

// What a running worker knows about itself: its manager and whether it has been counted
// out. Reached through a thread-local pointer so that KeepRunning, which gets no worker
// argument, can tell a worker's second call from its first.
struct TWorkerState {
    CTQThreadManager* Manager = nullptr;
    std::atomic<bool> CountedOut{false};
};

thread_local TWorkerState* t_pWorker = nullptr;

std::uint32_t ToThreadId(std::thread::id id)
{
    return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(id));
}

} // namespace

CTQThreadManager::~CTQThreadManager()
{
    // Destruction neither stops nor waits; a still-running worker is let go.
    for (TThreadData& data : Threads) {
        if (data.Thread && data.Thread->joinable()) {
            data.Thread->detach();
        }
    }
}

void CTQThreadManager::StartThread(AFX_THREADPROC procedure, void* argument, const std::wstring& name, int /*priority*/)
{
    auto state = std::make_shared<TWorkerState>();
    state->Manager = this;
    // Counted before the thread exists, so a worker that finishes at once cannot drive the
    // count below zero.
    ++RunningCount;
    std::shared_ptr<std::thread> thread;
    try {
        thread = std::make_shared<std::thread>([this, procedure, argument, state] {
            t_pWorker = state.get();
            procedure(argument);
            t_pWorker = nullptr;
            if (!state->CountedOut.exchange(true)) {
                --RunningCount;
            }
        });
    } catch (const std::system_error&) {
        --RunningCount;
        platform::TraceF(L"========> Cannot start thread '%ls'.\n", name.c_str());
        return;
    }
    TThreadData data;
    data.Name = name;
    data.ThreadId = ToThreadId(thread->get_id());
    data.Thread = std::move(thread);
    Threads.push_back(std::move(data));
}

bool CTQThreadManager::KeepRunning(bool stopNow)
{
    if (!StopAll && !stopNow) {
        return true;
    }
    TWorkerState* worker = t_pWorker != nullptr && t_pWorker->Manager == this ? t_pWorker : nullptr;
    // A worker is counted out once, however often it asks after being told to stop.
    if (worker == nullptr || !worker->CountedOut.exchange(true)) {
        --RunningCount;
        platform::Trace(L"========> Thread is stopped.\n");
    }
    return false;
}

void CTQThreadManager::StopAllThreads()
{
    platform::TraceF(L"========> Stopping %d Thread(s): ", RunningCount.load());
    for (const TThreadData& data : Threads) {
        platform::TraceF(L"'%ls' ", data.Name.c_str());
    }
    platform::Trace(L"\n");

    StopAll = true;
    while (RunningCount > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    StopAll = false;

    // Every worker has been counted out and is leaving its procedure.
    for (TThreadData& data : Threads) {
        if (data.Thread && data.Thread->joinable() && data.Thread->get_id() != std::this_thread::get_id()) {
            data.Thread->join();
        }
    }
}
