// Work spread over this thread and one helper thread.
#include "common/Parallel.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <system_error>
#include <thread>

namespace norrvik {

namespace {

// Signals blocked in this thread while it lives; a thread started meanwhile
// starts with them blocked.
class TSignalsBlocked {
public:
    TSignalsBlocked()
    {
        sigset_t all;
        sigfillset(&all);
        blocked_ = pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
    }
    ~TSignalsBlocked()
    {
        if (blocked_)
            pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }
    TSignalsBlocked(const TSignalsBlocked&) = delete;
    TSignalsBlocked& operator=(const TSignalsBlocked&) = delete;

private:
    sigset_t previous_{};
    bool blocked_ = false;
};

} // namespace

std::vector<std::exception_ptr> RunTasksSideBySide(std::size_t count, const std::function<void(std::size_t)>& task)
{
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t k = next++; k < count; k = next++) {
            try {
                task(k);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        }
    };
    std::thread helper;
    if (count > 1 && std::thread::hardware_concurrency() > 1) {
        const TSignalsBlocked blocked;
        try {
            helper = std::thread(work);
        } catch (const std::system_error&) {
            // No thread to be had: this thread does all the work.
        }
    }
    work();
    if (helper.joinable())
        helper.join();
    return failures;
}

} // namespace norrvik
