// The command line's progress bar and its Ctrl-C handling.
#include "cli/TerminalProgress.h"

#include "common/ProgressText.h"
#include "convert/Conversion.h"

#include <algorithm>
#include <csignal>
#include <utility>

namespace norrvik {

namespace {

constexpr int kBarCells = 30;
constexpr int kFewestBarCells = 5;
// A redraw at most this often, and always the last report of a stage.
constexpr std::chrono::milliseconds kRedrawInterval{50};

} // namespace

bool InterruptRequested()
{
    return TStopSignals::Requested() != 0;
}

int CancelledExitStatus()
{
    constexpr int kSignalExitBase = 128;
    const int signal = TStopSignals::Requested();
    return kSignalExitBase + (signal != 0 ? signal : SIGINT);
}

std::string ProgressBarLine(const TProgress& progress, int cells)
{
    int filled = 0;
    if (progress.Total > 0) {
        const long done = std::clamp(progress.Done, 0L, progress.Total);
        filled = static_cast<int>(done * cells / progress.Total);
    }
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(cells - filled), '.') + "] " + ProgressText(progress);
}

std::string FittedProgressLine(const TProgress& progress, std::optional<int> columns)
{
    if (!columns)
        return ProgressBarLine(progress, kBarCells);
    const std::string text = ProgressText(progress);
    const int room = std::max(*columns - 1, 1);
    const int cells = std::min(kBarCells, room - 3 - static_cast<int>(text.size())); // "[", "] "
    if (cells >= kFewestBarCells)
        return ProgressBarLine(progress, cells);
    return text.substr(0, static_cast<std::size_t>(room));
}

TTerminalProgress::TTerminalProgress(std::ostream& stream, bool draw, ColumnsQuery columns)
    : stream_(stream), draw_(draw), columns_(std::move(columns))
{
}

void TTerminalProgress::Report(const TProgress& progress)
{
    if (draw_)
        Draw(progress);
    if (!InterruptRequested())
        return;
    if (CanStopAt(progress)) {
        Finish();
        throw EConversionCancelled(CancelledText(progress));
    }
    if (!toldToWait_) {
        Finish();
        stream_ << "Interrupted: the index files are written to the end first, so that the database stays sound.\n"
                << std::flush;
        toldToWait_ = true;
    }
}

ProgressCallback TTerminalProgress::Callback()
{
    return [this](const TProgress& progress) { Report(progress); };
}

void TTerminalProgress::Draw(const TProgress& progress)
{
    const auto now = std::chrono::steady_clock::now();
    const bool last = progress.Done >= progress.Total;
    if (drawn_ && !last && now - lastDraw_ < kRedrawInterval)
        return;
    const std::optional<int> columns = columns_ ? columns_(TStandardStream::Error) : std::nullopt;
    const std::string line = FittedProgressLine(progress, columns);
    // Blanks over the rest of a longer previous line, as far as the line
    // reaches on a terminal that became narrower.
    const std::size_t reach = columns ? std::min<std::size_t>(lastWidth_, std::max(*columns - 1, 1)) : lastWidth_;
    const std::size_t pad = reach > line.size() ? reach - line.size() : 0;
    stream_ << '\r' << line << std::string(pad, ' ') << std::flush;
    lastWidth_ = line.size();
    lastDraw_ = now;
    drawn_ = true;
}

void TTerminalProgress::Finish()
{
    if (drawn_)
        stream_ << '\n' << std::flush;
    drawn_ = false;
    lastWidth_ = 0;
}

} // namespace norrvik
