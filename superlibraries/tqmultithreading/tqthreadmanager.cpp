#include "superlibraries/tqmultithreading/tqthreadmanager.h"

#include <chrono>
#include <functional>
#include <mutex>
#include <system_error>

#include "platform/files.h"

namespace {

using Clock = std::chrono::steady_clock;

// What a running worker and its manager share: whether it has been counted out, whether its
// procedure has returned, and whether the manager gave up waiting for it. Reached by the
// worker through a thread-local pointer so that KeepRunning, which gets no worker argument,
// can tell a worker's second call from its first.
struct TWorkerState {
    CTQThreadManager* Manager = nullptr;
    std::atomic<bool> CountedOut{ false };
    std::atomic<bool> Returned{ false };
    // Set, under Mutex, when StopAllThreads stopped waiting for this worker: from then on
    // the worker must not touch its manager's count, which may be gone.
    std::mutex Mutex;
    bool Abandoned = false;
};

thread_local TWorkerState* t_pWorker = nullptr;

std::uint32_t ToThreadId(std::thread::id id)
{
    return static_cast<std::uint32_t>(std::hash<std::thread::id>{}(id));
}

// Counts the worker out once; false when it was counted out already or was given up.
bool CountOut(TWorkerState& worker)
{
    std::lock_guard lock(worker.Mutex);
    if (worker.Abandoned || worker.CountedOut.exchange(true))
        return false;
    --worker.Manager->RunningCount;
    return true;
}

bool IsAbandoned(TWorkerState& worker)
{
    std::lock_guard lock(worker.Mutex);
    return worker.Abandoned;
}

}  // namespace

struct TThreadData::Shared : TWorkerState { };

CTQThreadManager::~CTQThreadManager()
{
    // Destruction neither stops nor waits; a still-running worker is let go.
    for (TThreadData& data : Threads) {
        if (data.Thread && data.Thread->joinable()) {
            data.Thread->detach();
        }
    }
}

void CTQThreadManager::StartThread(AFX_THREADPROC procedure, void* argument,
                                   const std::wstring& name, int /*priority*/)
{
    auto state = std::make_shared<TThreadData::Shared>();
    state->Manager = this;
    // Counted before the thread exists, so a worker that finishes at once cannot drive the
    // count below zero.
    ++RunningCount;
    std::shared_ptr<std::thread> thread;
    try {
        thread = std::make_shared<std::thread>([procedure, argument, state] {
            t_pWorker = state.get();
            procedure(argument);
            t_pWorker = nullptr;
            CountOut(*state);
            state->Returned = true;
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
    data.State = std::move(state);
    Threads.push_back(std::move(data));
}

bool CTQThreadManager::KeepRunning(bool stopNow)
{
    TWorkerState* worker = t_pWorker != nullptr && t_pWorker->Manager == this ? t_pWorker : nullptr;
    if (worker != nullptr) {
        std::lock_guard lock(worker->Mutex);
        if (worker->Abandoned)  // given up by a stop that timed out: leave now
            return false;
    }
    if (!StopAll && !stopNow) {
        return true;
    }
    // A worker is counted out once, however often it asks after being told to stop.
    const bool countedNow = worker != nullptr ? CountOut(*worker) : (--RunningCount, true);
    if (countedNow) {
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

    {
        std::lock_guard lock(m_StopMutex);
        StopAll = true;
    }
    m_StopAsked.notify_all();
    const Clock::time_point deadline = Clock::now() + StopWaitLimit;
    while (RunningCount > 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (RunningCount > 0) {
        AbandonStuckWorkers();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    StopAll = false;
    JoinReturnedWorkers();
}

void CTQThreadManager::WaitUntilStopAsked()
{
    std::unique_lock lock(m_StopMutex);
    m_StopAsked.wait(lock, [this] { return StopAll.load(); });
}

void CTQThreadManager::AbandonStuckWorkers()
{
    const auto limitMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(StopWaitLimit).count();
    for (TThreadData& data : Threads) {
        if (!data.State)
            continue;
        std::lock_guard lock(data.State->Mutex);
        if (data.State->CountedOut || data.State->Abandoned)
            continue;
        data.State->Abandoned = true;
        --RunningCount;
        platform::TraceF(
            L"========> Thread '%ls' did not stop within %lld ms; it is left behind.\n",
            data.Name.c_str(), static_cast<long long>(limitMs));
    }
}

void CTQThreadManager::JoinReturnedWorkers()
{
    // A counted-out worker is leaving its procedure: wait for it to return (bounded, it may
    // still hang in its finish), then join it; one that does not return in time, or that
    // was given up, is let go.
    const Clock::time_point joinDeadline = Clock::now() + std::chrono::milliseconds(500);
    for (TThreadData& data : Threads) {
        if (!data.Thread || !data.Thread->joinable() ||
            data.Thread->get_id() == std::this_thread::get_id())
            continue;
        if (data.State && IsAbandoned(*data.State)) {
            data.Thread->detach();
            continue;
        }
        while (data.State && !data.State->Returned && Clock::now() < joinDeadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!data.State || data.State->Returned) {
            data.Thread->join();
        } else {
            platform::TraceF(L"========> Thread '%ls' has not returned; it is let go.\n",
                             data.Name.c_str());
            data.Thread->detach();
        }
    }
}
