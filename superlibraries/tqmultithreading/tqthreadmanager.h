// Named worker threads of one owner, stopped together. Every worker is a polling loop that
// asks KeepRunning once per cycle; stopping raises a flag and waits until each worker has
// counted itself out.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using AFX_THREADPROC = unsigned (*)(void*);

struct TThreadData {
    std::wstring Name;
    std::uint32_t ThreadId = 0;
    // Shared so that the record stays copyable. Joined by StopAllThreads once the worker
    // has counted itself out; detached if the manager dies first.
    std::shared_ptr<std::thread> Thread;
    bool StopRequested = false;
    // What the worker and its manager share while it runs (counted out, returned, given up).
    struct Shared;
    std::shared_ptr<Shared> State;
};

class CTQThreadManager {
public:
    CTQThreadManager() = default;
    ~CTQThreadManager();
    CTQThreadManager(const CTQThreadManager&) = delete;
    CTQThreadManager& operator=(const CTQThreadManager&) = delete;

    // Starts procedure(argument) on a new thread and records it. priority is accepted for
    // the callers' sake; every worker runs at normal priority. A thread that cannot be
    // started is traced and neither recorded nor counted.
    void StartThread(AFX_THREADPROC procedure, void* argument, const std::wstring& name,
                     int priority);

    // Called by a worker at the top of each cycle. False (and the worker counted out) when a
    // stop was asked for or stopNow is true; the worker must then finish without calling again.
    bool KeepRunning(bool stopNow);

    // Raises the stop flag, waits until every worker has counted itself out, lowers it.
    // A worker whose procedure returns without having been counted out is counted out
    // when it returns, so an early return cannot keep this waiting for ever. The wait is
    // bounded by StopWaitLimit: a worker still running then is traced by name, counted out
    // and left behind (its KeepRunning says false from then on), so a shutdown never hangs.
    void StopAllThreads();

    // For a worker with nothing to do until it is stopped: returns once StopAllThreads has
    // been called, without waking in between. The worker then asks KeepRunning as usual.
    void WaitUntilStopAsked();

    std::atomic<int> RunningCount{ 0 };
    std::atomic<bool> StopAll{ false };
    std::vector<TThreadData> Threads;
    // Far above the slowest worker's period plus one cycle.
    std::chrono::milliseconds StopWaitLimit{ 2000 };

private:
    std::mutex m_StopMutex;
    std::condition_variable m_StopAsked;

    void AbandonStuckWorkers();
    void JoinReturnedWorkers();
};
