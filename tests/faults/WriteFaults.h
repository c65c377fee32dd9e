// A disk that fills up on request: the test executable replaces the C
// library's write(), writev() and pwrite(), counts the writes that go to files below a
// watched folder and, from a chosen write on, lets that write go half through
// and every later one fail with ENOSPC ("No space left on device"), as a
// full disk does. Writes elsewhere (the test's own output) pass untouched.
#pragma once

#include <filesystem>

namespace norrvik::test {

class WriteFaults {
public:
    // Counts (and fails) only writes to files below `folder`.
    static void Watch(const std::filesystem::path& folder);
    // The disk fills at write number `n` (0-based) of the watched folder,
    // counted from now; a negative n never fills it.
    static void FailFrom(long n);
    // Stops failing and counting.
    static void Off();
    // Writes to the watched folder since the last Watch or FailFrom.
    static long WritesSeen();
    // True when the disk has filled since the last FailFrom.
    static bool Filled();
};

} // namespace norrvik::test
