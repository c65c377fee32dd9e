// The conversion window without its drawing: the model every view of the
// window (the Qt one, a Win32 one) drives. It holds the conversion command:
// the checks of the two folder texts, then the refusals the target would
// give (another run holds it, it may not be written), then the questions (a
// folder that holds another format than the one chosen, a last run from the
// same folder that stopped part-way and can be finished, a target that
// already holds patterns from the same folder), the run in steps on the
// view's thread with the progress shown by time, Cancel, "Stop and close?",
// the result line and its details, the offer to undo a run that changed the
// target, the offer to recover a damaged target, and the choices remembered
// between runs.
#pragma once

#include "convert/ConversionDrivers.h"
#include "window/ProgressThrottle.h"
#include "window/WindowView.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>

namespace norrvik {

// What the user chose in the window.
struct TWindowChoices {
    int FormatIndex = 0; // position in kFormats; outside it for no format
    std::string OldFolder; // as typed
    std::string NewFolder; // as typed
};

class TConversionWindow {
public:
    // Without `settings` nothing is remembered between runs.
    TConversionWindow(TConversionDrivers drivers, TWindowView& view, TWindowSettings* settings = nullptr,
                      TProgressThrottle::Clock clock = {});

    // The choices of the last run (the first format and empty folders when
    // none are kept).
    TWindowChoices RememberedChoices() const;
    void Remember(const TWindowChoices& choices);

    // The conversion command. A failure of the run is raised once the window
    // is idle again and the result line says what the target holds (the
    // view's top-level handler shows it); a failure that left the target
    // damaged is answered here with the offer to recover it.
    void Convert(const TWindowChoices& choices);

    // The target of the last run that succeeded, as typed, and how many
    // patterns it added (a browser opens on them).
    struct TLastRun {
        std::string TypedNewFolder;
        long Added = 0;
    };
    const TLastRun& LastRun() const { return lastRun_; }

    bool IsBusy() const { return busy_; }
    // Asks a running conversion to stop after the entry it is working on.
    void RequestCancel();
    // A stop asked from outside the window (a signal), looked at on every
    // report as Cancel is; empty for none.
    void SetStopRequested(std::function<bool()> stopRequested);
    // Whether the window may close now; while a conversion runs the user is
    // asked "Stop and close?", and a yes closes the window once it has stopped.
    bool MayClose(const TWindowChoices& choices);
    // The user's session ends (a logoff, a shutdown): a running conversion
    // stops after its entry as Cancel stops it, without a question, and the
    // window closes once it has (the patterns so far and the indexes are
    // written). True when nothing runs and the session may end at once.
    bool SessionEnding(const TWindowChoices& choices);
    // A folder text was edited: the result line of the last run is cleared.
    void FolderEdited();
    // The offered undo of the last run (ShowUndoOffer): asked first, then
    // the target put back as it was before the run; a refusal is shown as a
    // warning. The offer goes either way, and LastRun() with an undo.
    void Undo();

private:
    class TBusyScope;

    // What the offered undo would take back: the run's target (absolute),
    // the patterns it added, and whether it created the database.
    struct TUndoOffer {
        std::string Folder;
        long Patterns = 0;
        bool CreatedDatabase = false;
    };

    // The old folder made absolute and the new one with "~" expanded.
    using TRunFolders = std::pair<std::string, std::string>;
    bool ConfirmFormat(const TFormatInfo*& format, const std::string& oldFolder);
    // False to go back; `resume` is set when the user chose to finish a
    // stopped run.
    bool ConfirmReimport(const TFormatInfo& format, const TRunFolders& folders, TResumePoint& resume);
    void Run(const TFormatInfo* format, const TRunFolders& folders, const TWindowChoices& choices,
             const TResumePoint& resume);
    // The result line and its details shown, or both cleared; the undo is
    // offered with them only when `offer` is given.
    void ShowResult(const std::string& line, const std::string& details, std::optional<TUndoOffer> offer = {});
    void ShowOutcome(const TConversionOutcome& outcome, const TWindowChoices& choices);
    bool OfferRecovery(const TConversionOutcome& outcome, const std::string& newFolder);
    void ShowIfDue(const TProgress& progress, bool cancellable);
    void OnProgress(const TProgress& progress);
    bool StopAsked() const;

    TConversionDrivers drivers_;
    TWindowView& view_;
    TWindowSettings* settings_;
    TProgressThrottle::Clock clock_;
    TProgressThrottle throttle_;
    std::function<bool()> stopRequested_;
    bool busy_ = false;
    bool cancelRequested_ = false;
    bool closeAfterRun_ = false;
    TLastRun lastRun_;
    std::optional<TUndoOffer> undoOffer_;
};

} // namespace norrvik
