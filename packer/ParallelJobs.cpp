#include "packer/ParallelJobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

void RunParallel(const std::vector<size_t>& order, int jobs, const std::function<void(size_t index)>& work,
                 const std::function<void()>& tick)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex lock;
    std::condition_variable changed;
    std::exception_ptr failure;
    size_t failedIndex = SIZE_MAX;
    size_t threads = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), order.size()));
    size_t running = threads;

    auto worker = [&] {
        for (size_t i; !stop && (i = next++) < order.size();) {
            try {
                work(order[i]);
            } catch (...) {
                std::lock_guard<std::mutex> guard(lock);
                if (order[i] < failedIndex) {
                    failedIndex = order[i];
                    failure = std::current_exception();
                }
                stop = true;
            }
        }
        std::lock_guard<std::mutex> guard(lock);
        running--;
        changed.notify_all();
    };
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; t++)
        workers.emplace_back(worker);
    {
        std::unique_lock<std::mutex> guard(lock);
        while (running > 0) {
            changed.wait_for(guard, std::chrono::milliseconds(100));
            if (tick)
                tick();
        }
    }
    for (std::thread& thread : workers)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
}
