// The order and failure rule of the steps over the seven text indexes that
// the index upkeep shares between its files: every index is taken in sort
// order, on past a failure, except that ReferenceCode.PDB, written last,
// marks a complete index write: after a failed write of another index it is
// left as it was, so that its count still shows the indexes out of step with
// the records when the database is opened again.
#pragma once

#include "refdb/Indexes.h"

#include <exception>

namespace norrvik {

// Runs `step`, keeping the first failure for later so that the steps after
// it still run.
template <typename Step>
void KeepFirstFailure(std::exception_ptr& failure, Step&& step)
{
    try {
        step();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
}

// Runs `step` for every text index in sort order by the rule above and
// raises the first failure at the end.
template <typename Step>
void ForEachTextIndexInSortOrder(Step&& step)
{
    std::exception_ptr failure;
    for (TextIndex index : kSortTextIndexOrder)
        if (!(failure && index == TextIndex::ReferenceCode))
            KeepFirstFailure(failure, [&] { step(index); });
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace norrvik
