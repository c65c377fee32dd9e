// Work spread over this thread and one helper thread. The helper thread is
// started at the first use and lives as long as the program: with MinGW a
// thread that ends runs the destructors of its thread_local objects after
// their storage is freed (a corrupted heap), so the helper never ends; the
// program's end ends it. A forked child has none of its parent's threads:
// it starts a helper of its own (the parent's is left as it is).
#include "common/Parallel.h"

#include "common/Platform.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace norrvik {

namespace {

class THelperThread {
public:
    // The helper, or nothing when the machine has one processor or no
    // thread can be had.
    // Called from the program's own thread only.
    static THelperThread* Get()
    {
        static THelperThread* helper = nullptr;
        static std::uint64_t process = 0;
        static bool started = false;
        if (!started || process != CurrentProcessId()) {
            process = CurrentProcessId();
            started = true;
            helper = Start();
        }
        return helper;
    }

    // Starts `work` on the helper; false (and nothing started) while it is busy.
    bool Begin(const std::function<void()>& work)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (job_ != nullptr)
            return false;
        job_ = &work;
        done_ = false;
        changed_.notify_all();
        return true;
    }

    void WaitUntilDone()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return done_; });
        job_ = nullptr;
    }

private:
    static THelperThread* Start()
    {
        if (std::thread::hardware_concurrency() <= 1)
            return nullptr;
        auto* helper = new THelperThread; // never freed: the thread may use it until the program ends
        try {
            const TNewThreadsTakeNoSignals blocked;
            std::thread([helper] { helper->Serve(); }).detach();
        } catch (const std::system_error&) {
            delete helper;
            return nullptr;
        }
        return helper;
    }

    [[noreturn]] void Serve()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return job_ != nullptr && !done_; });
            const std::function<void()>* job = job_;
            lock.unlock();
            (*job)();
            lock.lock();
            done_ = true;
            changed_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    const std::function<void()>* job_ = nullptr;
    bool done_ = true;
};

} // namespace

std::vector<std::exception_ptr> RunTasksSideBySide(std::size_t count, const std::function<void(std::size_t)>& task)
{
    std::vector<std::exception_ptr> failures(count);
    std::atomic<std::size_t> next{0};
    const std::function<void()> work = [&] {
        for (std::size_t k = next++; k < count; k = next++) {
            try {
                task(k);
            } catch (...) {
                failures[k] = std::current_exception();
            }
        }
    };
    THelperThread* const helper = count > 1 ? THelperThread::Get() : nullptr;
    const bool shared = helper != nullptr && helper->Begin(work);
    work();
    if (shared)
        helper->WaitUntilDone();
    return failures;
}

} // namespace norrvik
