#include "VendorPool.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "trellybridge/trellybridge.h"

namespace trellybridge::fhirserver {
namespace {

// One request, shared by its asker and the thread that runs it, so that either may leave
// first.
struct Job {
    VendorPool::Work work;
    VendorPool::Clock::time_point deadline;
    platform::CancelSignal cancel;
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;
    VendorAnswer answer;
};

}  // namespace

struct VendorPool::Impl {
    std::size_t waitingLimit;
    std::mutex mutex;
    std::condition_variable jobReady;
    std::deque<std::shared_ptr<Job>> line;
    bool ending = false;
    std::vector<std::thread> threads;

    void serve() {
        tb_set_pace("fast");
        for (;;) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(mutex);
                jobReady.wait(lock, [this] { return ending || !line.empty(); });
                if (ending) return;
                job = std::move(line.front());
                line.pop_front();
            }
            {
                std::lock_guard lock(job->mutex);
                if (job->abandoned) continue;
            }
            VendorAnswer answer = job->work({job->deadline, job->cancel});
            std::lock_guard lock(job->mutex);
            job->answer = std::move(answer);
            job->done = true;
            job->finished.notify_all();
        }
    }
};

VendorPool::VendorPool(std::size_t threads, std::size_t waiting) : impl_(std::make_unique<Impl>()) {
    impl_->waitingLimit = waiting;
    for (std::size_t i = 0; i < threads; ++i)
        impl_->threads.emplace_back([this] { impl_->serve(); });
}

VendorPool::~VendorPool() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->ending = true;
    }
    impl_->jobReady.notify_all();
    for (std::thread& thread : impl_->threads) thread.join();
}

VendorPool::Outcome VendorPool::run(Work work, Clock::time_point deadline, VendorAnswer& answer) {
    auto job = std::make_shared<Job>();
    job->work = std::move(work);
    job->deadline = deadline;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->line.size() >= impl_->waitingLimit) return Outcome::Busy;
        impl_->line.push_back(job);
    }
    impl_->jobReady.notify_one();
    std::unique_lock lock(job->mutex);
    if (!job->finished.wait_until(lock, deadline, [&job] { return job->done; })) {
        job->abandoned = true;
        job->cancel.raise();
        return Outcome::Late;
    }
    if (job->answer.late) return Outcome::Late;
    answer = std::move(job->answer);
    return Outcome::Answered;
}

}  // namespace trellybridge::fhirserver
