// A fixed pool of worker threads for the tile pass.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace raster::detail {

// Run hands out job indices to the calling thread and threads - 1 workers until all
// are done; the workers sleep between runs.
class WorkerPool {
public:
    explicit WorkerPool(int threads) {
        for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { Loop(); });
    }
    ~WorkerPool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }
    int Threads() const { return static_cast<int>(workers_.size()) + 1; }

    void Run(int count, const std::function<void(int)>& job) {
        if (workers_.empty()) {
            for (int i = 0; i < count; ++i) job(i);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            count_ = count;
            next_.store(0);
            busy_ = static_cast<int>(workers_.size());
            ++generation_;
        }
        wake_.notify_all();
        Work();
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
        job_ = nullptr;
    }

private:
    void Work() {
        for (;;) {
            int index = next_.fetch_add(1);
            if (index >= count_) return;
            (*job_)(index);
        }
    }
    void Loop() {
        std::uint64_t seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
                if (stop_) return;
                seen = generation_;
            }
            Work();
            std::lock_guard<std::mutex> lock(mutex_);
            if (--busy_ == 0) done_.notify_one();
        }
    }

    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    const std::function<void(int)>* job_ = nullptr;
    int count_ = 0;
    std::atomic<int> next_{0};
    int busy_ = 0;
    std::uint64_t generation_ = 0;
    bool stop_ = false;
};

}  // namespace raster::detail
