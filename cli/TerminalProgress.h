// Progress of the command line: a bar redrawn in place on a terminal, and
// Ctrl-C, SIGTERM and SIGHUP, which stop a conversion after the entry it is
// working on (the index rebuild at the end always finishes, so the target
// stays sound).
#pragma once

#include "common/Progress.h"
#include "common/StopSignals.h"
#include "common/TerminalSize.h"

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace norrvik {

// While alive, Ctrl-C (SIGINT), SIGTERM and SIGHUP only set a flag that
// InterruptRequested() reads (common/StopSignals.h); the previous handling
// comes back when it goes.
class TInterruptGuard {
public:
    TInterruptGuard() = default;

private:
    TStopSignals signals_;
};

bool InterruptRequested();
// The exit status of a run stopped by a signal: 128 + its number, as a
// shell reports a program that signal ends (130 for Ctrl-C, 143 for
// SIGTERM, 129 for SIGHUP); 130 for a stop without a signal.
int CancelledExitStatus();

// The progress callback of a command: draws "[#####.....] Converting entry
// 12 of 380" on `stream` when `draw` is set, and after Ctrl-C throws
// EConversionCancelled at the next report between entries. Ctrl-C while the
// indexes are written only says that the program finishes them first. The
// bar fits the terminal's width, asked at every redraw (a resized window
// gets a bar of its new width), so that it never wraps onto a new line.
class TTerminalProgress {
public:
    using ColumnsQuery = std::function<std::optional<int>(TStandardStream)>;

    TTerminalProgress(std::ostream& stream, bool draw, ColumnsQuery columns = TerminalColumns);

    void Report(const TProgress& progress);
    ProgressCallback Callback();
    // Ends the bar's line, so that what follows starts on a fresh one.
    void Finish();

private:
    void Draw(const TProgress& progress);

    std::ostream& stream_;
    bool draw_;
    ColumnsQuery columns_;
    bool drawn_ = false;
    bool toldToWait_ = false;
    std::size_t lastWidth_ = 0;
    std::chrono::steady_clock::time_point lastDraw_{};
};

// The bar of a report: "[" + filled and empty cells + "] " + text.
std::string ProgressBarLine(const TProgress& progress, int cells);

// The line drawn for a report on a terminal `columns` wide (nothing: a
// width not known): the bar of up to 30 cells, narrower to fit; on a
// terminal too narrow for a bar of a few cells, the text alone, cut to fit.
// Never more than columns - 1 characters, so the cursor stays on the line.
std::string FittedProgressLine(const TProgress& progress, std::optional<int> columns);

} // namespace norrvik
