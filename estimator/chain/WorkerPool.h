#pragma once

#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace ombrel {

// A fixed set of threads that run one job together: threads - 1 workers started once, plus the
// caller, which takes part as worker 0. Run hands the job to every worker and returns when all of
// them are done, so nothing a job touches outlives the call. One pool never runs two jobs at once.
// Waits until value differs from old. The other side usually answers within microseconds (an
// iteration hands work over several times), so a short spin comes first, then a few turns that give
// the processor to any other thread that is ready (more threads than cores must not spin against the
// thread they wait for), and only then the blocking wait.
template <typename T>
void SpinThenWait(const std::atomic<T>& value, T old, std::memory_order order = std::memory_order_acquire) {
    for (int spin = 0; spin < 1024; ++spin) {
        if (value.load(order) != old) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    for (int turn = 0; turn < 32; ++turn) {
        if (value.load(order) != old) return;
        std::this_thread::yield();
    }
    value.wait(old, order);
}

// Waits until done(value) holds, and returns the value that made it hold.
template <typename T, typename Done>
T WaitUntil(const std::atomic<T>& value, Done done) {
    for (;;) {
        const T current = value.load(std::memory_order_acquire);
        if (done(current)) return current;
        SpinThenWait(value, current);
    }
}

class WorkerPool {
public:
    // threads below 1 count as 1: no thread is started and Run calls the job on the caller only.
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Threads() const { return static_cast<int>(workers_.size()) + 1; }

    // Calls job(w) once for every worker w in 0 .. Threads() - 1, worker 0 on the calling thread. A job
    // should not throw; if one does, the first exception caught is rethrown here once every worker is
    // done. job is called through a plain pointer, so a capturing lambda costs no allocation.
    template <typename Job>
    void Run(Job& job) {
        RunJob(&job, [](void* context, int worker) { (*static_cast<Job*>(context))(worker); });
    }

private:
    using Trampoline = void (*)(void* context, int worker);
    void RunJob(void* context, Trampoline trampoline);
    void WorkerLoop(int worker);
    void CallJob(int worker);

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    void* context_ = nullptr;
    Trampoline trampoline_ = nullptr;
    std::atomic<long long> generation_{0};  // counts the jobs handed out
    std::atomic<int> running_{0};           // workers still inside the current job
    bool stopping_ = false;
    std::exception_ptr failure_;
};

// One thread kept for a job that runs beside the caller's own work: Start hands it the job and
// returns at once, Wait returns when the job is done. Start and Wait alternate; a job should not
// throw (if it does, Wait rethrows).
class BackgroundThread {
public:
    BackgroundThread();
    ~BackgroundThread();
    BackgroundThread(const BackgroundThread&) = delete;
    BackgroundThread& operator=(const BackgroundThread&) = delete;

    // job must live until Wait returns.
    template <typename Job>
    void Start(Job& job) {
        StartJob(&job, [](void* context) { (*static_cast<Job*>(context))(); });
    }
    void Wait();

private:
    using Trampoline = void (*)(void* context);
    void StartJob(void* context, Trampoline trampoline);
    void Loop();

    void* context_ = nullptr;
    Trampoline trampoline_ = nullptr;
    std::exception_ptr failure_;
    std::atomic<long long> started_{0};   // jobs handed out
    std::atomic<long long> finished_{0};  // jobs done
    std::atomic<bool> stopping_{false};
    std::thread thread_;  // last: it starts once everything it reads is initialised
};

}  // namespace ombrel
