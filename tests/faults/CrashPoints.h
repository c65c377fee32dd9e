// Stops at a chosen file operation, as a kill or a power cut would: the test
// executable replaces the C library's open (for writing), write, writev,
// pwrite, fsync, fdatasync, rename, ftruncate, truncate, unlink, remove,
// rmdir and mkdir, numbers those that touch a watched folder and, at
// operation n, ends the process at once with _exit (no destructor, no flush
// of any buffer). In the power-cut model every change not yet made durable
// is undone first: file writes and truncations not followed by an fsync of
// their file, renames and removals not followed by an fsync of their folder,
// a folder made but not followed by an fsync of the folder holding it.
// (fsync itself returns at once: the journal models it.)
#pragma once

#include <filesystem>

namespace norrvik::test {

class CrashPoints {
public:
    // Counts operations on files below `folder` from now on; ends the
    // process at operation `stopAt` (0-based; negative: never).
    static void Arm(const std::filesystem::path& folder, long stopAt, bool powerCut);
    static void Disarm();
    // Ends the process as at a stop when the stop armed was not reached
    // (a power cut just after the run); nothing when disarmed.
    static void StopAtEnd();
    // Operations seen since Arm.
    static long Seen();
    // The exit status of a process stopped by Arm.
    static constexpr int kStoppedStatus = 77;
};

} // namespace norrvik::test
