#include "estimator/chain/WorkerPool.h"

namespace ombrel {

WorkerPool::WorkerPool(int threads) {
    for (int w = 1; w < threads; ++w) workers_.emplace_back([this, w] { WorkerLoop(w); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    started_.notify_all();
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

void WorkerPool::RunJob(void* context, Trampoline trampoline) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        context_ = context;
        trampoline_ = trampoline;
        failure_ = nullptr;
        running_ = static_cast<int>(workers_.size());
        ++generation_;
    }
    started_.notify_all();
    CallJob(0);
    std::exception_ptr failure;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return running_ == 0; });
        failure = failure_;
        failure_ = nullptr;
    }
    if (failure) std::rethrow_exception(failure);
}

void WorkerPool::WorkerLoop(int worker) {
    long long seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            started_.wait(lock, [this, seen] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
        }
        CallJob(worker);
        bool last = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            last = --running_ == 0;
        }
        if (last) finished_.notify_one();
    }
}

}  // namespace ombrel
