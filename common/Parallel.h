// Independent pieces of work spread over this thread and one helper thread
// (one: the work comes in a few large pieces, and more threads would mostly
// wait for the same memory).
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

namespace norrvik {

// Runs `task(k)` for k = 0 .. count - 1, each once, on this thread and, when
// the machine has more than one processor, on one helper thread at the same
// time (each task takes the next one not yet taken); returns when all have
// run. What a task raises is kept in its slot of the result, which is empty
// where the task did not raise. The tasks must not touch the same data. The
// helper thread takes no signals: the stop signals reach the program's own
// thread, as without it.
std::vector<std::exception_ptr> RunTasksSideBySide(std::size_t count, const std::function<void(std::size_t)>& task);

} // namespace norrvik
