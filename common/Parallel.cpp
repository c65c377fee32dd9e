// Work spread over this thread and one helper thread.
#include "common/Parallel.h"

#include "common/Platform.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace norrvik {

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
        const TNewThreadsTakeNoSignals blocked;
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
