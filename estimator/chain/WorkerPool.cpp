#include "estimator/chain/WorkerPool.h"

namespace ombrel {

WorkerPool::WorkerPool(int threads) {
    for (int w = 1; w < threads; ++w) workers_.emplace_back([this, w] { WorkerLoop(w); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        generation_.fetch_add(1, std::memory_order_release);
    }
    generation_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::CallJob(int worker) {
    try {
        trampoline_(context_, worker);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
    }
}

// The hand-over goes through two atomics, so that a worker still spinning from the last job starts the
// next one without a system call; the mutex guards only the failure.
void WorkerPool::RunJob(void* context, Trampoline trampoline) {
    context_ = context;
    trampoline_ = trampoline;
    failure_ = nullptr;
    running_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
    generation_.notify_all();
    CallJob(0);
    WaitUntil(running_, [](int left) { return left == 0; });
    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failure = failure_;
        failure_ = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void WorkerPool::WorkerLoop(int worker) {
    long long seen = 0;
    for (;;) {
        seen = WaitUntil(generation_, [seen](long long generation) { return generation != seen; });
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        CallJob(worker);
        if (running_.fetch_sub(1, std::memory_order_acq_rel) == 1) running_.notify_one();
    }
}

BackgroundThread::BackgroundThread() : thread_([this] { Loop(); }) {}

BackgroundThread::~BackgroundThread() {
    stopping_.store(true, std::memory_order_relaxed);
    started_.fetch_add(1, std::memory_order_release);
    started_.notify_all();
    thread_.join();
}

void BackgroundThread::StartJob(void* context, Trampoline trampoline) {
    context_ = context;
    trampoline_ = trampoline;
    failure_ = nullptr;
    started_.fetch_add(1, std::memory_order_release);
    started_.notify_all();
}

void BackgroundThread::Wait() {
    const long long target = started_.load(std::memory_order_relaxed);
    WaitUntil(finished_, [target](long long done) { return done == target; });
    if (failure_) std::rethrow_exception(failure_);
}

void BackgroundThread::Loop() {
    long long seen = 0;
    for (;;) {
        seen = WaitUntil(started_, [seen](long long started) { return started != seen; });
        if (stopping_.load(std::memory_order_relaxed)) return;
        try {
            trampoline_(context_);
        } catch (...) {
            failure_ = std::current_exception();
        }
        finished_.fetch_add(1, std::memory_order_release);
        finished_.notify_all();
    }
}

}  // namespace ombrel
