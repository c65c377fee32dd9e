// The conversion window's model: the conversion command and what it asks, and
// the undo of its last run.
#include "window/ConversionWindow.h"

#include "convert/ImportHistory.h"

#include "common/FolderChecks.h"
#include "common/Files.h"
#include "common/ProgressText.h"
#include "convert/ConversionReport.h"
#include "convert/ConversionSupport.h"
#include "convert/DryRun.h"
#include "convert/FormatDetection.h"
#include "convert/UndoConversion.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"
#include "refdb/Recovery.h"
#include "refdb/ReferenceCodes.h"
#include "window/FolderText.h"
#include "window/WindowTexts.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace norrvik {

namespace {

// Keys of the remembered choices.
constexpr const char* kFormatKey = "format";
constexpr const char* kOldFolderKey = "oldFolder";
constexpr const char* kNewFolderKey = "newFolder";

// The view's wait cursor for as long as it lives.
class TWaiting {
public:
    explicit TWaiting(TWindowView& view) : view_(view) { view_.SetWaiting(true); }
    ~TWaiting() { view_.SetWaiting(false); }
    TWaiting(const TWaiting&) = delete;
    TWaiting& operator=(const TWaiting&) = delete;

private:
    TWindowView& view_;
};

// The first problem that stops a conversion of the typed folders, or empty.
// The texts are checked with "~" expanded; messages show them as typed.
std::string FolderProblem(const TWindowChoices& choices)
{
    const std::string oldFolder = ExpandHomeFolder(choices.OldFolder);
    if (NamesAFile(oldFolder))
        return NotAFolderMessage(kOldFolderWhat, choices.OldFolder);
    if (!OldFolderExists(oldFolder))
        return OldFolderMissingMessage(choices.OldFolder);
    if (TargetFolderBlank(choices.NewFolder))
        return std::string(kEmptyTargetMessage);
    if (NamesAFile(ExpandHomeFolder(choices.NewFolder)))
        return NotAFolderMessage(kNewFolderWhat, choices.NewFolder);
    return {};
}

std::string RecoveredLine(const std::string& folder, const TRecoveryReport& report, std::size_t problemsLeft)
{
    std::string line = "Recovered the Tessaly database in " + folder + ": " +
                       windowtext::GroupThousands(PatternsText(report.PatternsKept)) + " kept";
    line += report.BackupFolder.empty() ? "; nothing had to be replaced"
                                        : "; the replaced files are kept in " + report.BackupFolder;
    if (problemsLeft > 0)
        line += "; " + windowtext::GroupThousands(std::to_string(problemsLeft)) +
                " problems remain (norrvik-cli verify lists them)";
    return line + ".";
}

} // namespace

// The busy state for as long as it lives: leaving the scope, normally or by
// an exception, always brings the idle state back.
class TConversionWindow::TBusyScope {
public:
    explicit TBusyScope(TConversionWindow& window) : window_(window)
    {
        window_.busy_ = true;
        window_.cancelRequested_ = false;
        window_.throttle_ = TProgressThrottle(window_.clock_);
        window_.view_.EnterBusy();
    }
    ~TBusyScope()
    {
        window_.view_.LeaveBusy();
        window_.busy_ = false;
        window_.cancelRequested_ = false;
    }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TConversionWindow& window_;
};

TConversionWindow::TConversionWindow(TConversionDrivers drivers, TWindowView& view, TWindowSettings* settings,
                                     TProgressThrottle::Clock clock)
    : drivers_(std::move(drivers)), view_(view), settings_(settings), clock_(std::move(clock)), throttle_(clock_)
{
}

TWindowChoices TConversionWindow::RememberedChoices() const
{
    TWindowChoices choices;
    if (settings_ == nullptr)
        return choices;
    if (const TFormatInfo* format = FormatByCliName(settings_->Value(kFormatKey)))
        choices.FormatIndex = FormatIndex(*format);
    choices.OldFolder = settings_->Value(kOldFolderKey);
    choices.NewFolder = settings_->Value(kNewFolderKey);
    return choices;
}

void TConversionWindow::Remember(const TWindowChoices& choices)
{
    if (settings_ == nullptr)
        return;
    if (const TFormatInfo* format = FormatAt(choices.FormatIndex))
        settings_->SetValue(kFormatKey, std::string(format->CliName));
    settings_->SetValue(kOldFolderKey, choices.OldFolder);
    settings_->SetValue(kNewFolderKey, choices.NewFolder);
    settings_->Sync();
}

void TConversionWindow::Convert(const TWindowChoices& typed)
{
    ShowResult({}, {});
    if (const std::string problem = FolderProblem(typed); !problem.empty()) {
        view_.ShowWarning(problem);
        return;
    }
    TWindowChoices choices = typed;
    const std::string oldFolder = AbsoluteFolderText(typed.OldFolder);
    const std::string newFolder = ExpandHomeFolder(typed.NewFolder);
    const TFormatInfo* format = FormatAt(typed.FormatIndex);
    TResumePoint resume;
    if (format != nullptr) {
        // Refusals first: no question whose answer would then be refused.
        CheckTargetBeforeRun(newFolder);
        if (!ConfirmFormat(format, oldFolder) || !ConfirmReimport(*format, {oldFolder, newFolder}, resume))
            return;
        choices.FormatIndex = FormatIndex(*format);
    }
    Remember(choices);
    Run(format, {oldFolder, newFolder}, choices, resume);
}

bool TConversionWindow::ConfirmFormat(const TFormatInfo*& format, const std::string& oldFolder)
{
    const std::vector<const TFormatInfo*> found = DetectFormats(oldFolder);
    if (found.empty() || std::find(found.begin(), found.end(), format) != found.end())
        return true;
    const FormatChoice choice = view_.AskFormatMismatch(FormatMismatchText(oldFolder, *format, found),
                                                        std::string(format->DisplayName),
                                                        std::string(found.front()->DisplayName));
    if (choice == FormatChoice::AsFound) {
        format = found.front();
        view_.ShowFormat(FormatIndex(*format));
    }
    return choice != FormatChoice::GoBack;
}

bool TConversionWindow::ConfirmReimport(const TFormatInfo& format, const TRunFolders& folders, TResumePoint& resume)
{
    const auto& [oldFolder, newFolder] = folders;
    std::optional<TStoppedRun> stopped;
    TEarlierImports earlier;
    {
        TWaiting waiting(view_);
        if (!IsUserDatabaseConversion(format, oldFolder))
            return true;
        try {
            // A stopped last run is the one question: finishing it is what
            // the user most likely came back for.
            const TTypedFolder target(newFolder);
            stopped = FindStoppedRun(format, target, oldFolder);
            if (!stopped)
                earlier = FindEarlierImports(target, oldFolder);
        } catch (const Exception&) {
            return true; // the conversion itself says what is wrong with the target
        }
    }
    if (stopped) {
        const ResumeChoice choice =
            view_.AskFinishTheRest(windowtext::StoppedRunQuestion(stopped->Run, oldFolder, newFolder));
        if (choice == ResumeChoice::FinishTheRest)
            resume = stopped->Resume;
        return choice != ResumeChoice::GoBack;
    }
    return earlier.Patterns == 0 ||
           view_.AskAddAgain(EarlierImportsText(earlier.Patterns, oldFolder, newFolder, earlier.Latest));
}

void TConversionWindow::Run(const TFormatInfo* format, const TRunFolders& folders, const TWindowChoices& choices,
                            const TResumePoint& resume)
{
    const auto& [oldFolder, newFolder] = folders;
    TConversionOutcome outcome;
    {
        TBusyScope busy(*this);
        // A finishing run reads the folder as the stopped run was given it:
        // the comment lines of its patterns name it so.
        outcome = RunConversion(drivers_, {format, resume.Run != 0 ? resume.OldFolder : oldFolder, newFolder,
                                           [this](const TProgress& progress) { OnProgress(progress); }, resume});
        if (!outcome.Success && !outcome.Failure)
            view_.ShowConversionFailed(); // shown while still busy
    }
    if (outcome.Success)
        lastRun_ = {choices.NewFolder, outcome.Summary.Added};
    ShowOutcome(outcome, choices);
    if (std::exchange(closeAfterRun_, false))
        view_.CloseWindow();
    if (outcome.Failure && !outcome.Cancelled() && !OfferRecovery(outcome, newFolder))
        std::rethrow_exception(outcome.Failure);
}

void TConversionWindow::ShowOutcome(const TConversionOutcome& outcome, const TWindowChoices& choices)
{
    const bool createdDatabase = outcome.Summary.CreatedDatabase;
    std::string line;
    if (outcome.Success)
        line = windowtext::ResultLine(outcome.Summary);
    else
        line = windowtext::StoppedResultLine(outcome.Cancelled() ? outcome.FailureText() : windowtext::kConversionFailed,
                                             outcome.Summary);
    if (const std::string note = windowtext::TargetNote(choices.NewFolder, AbsoluteFolderText(choices.NewFolder));
        !note.empty())
        line += (line.ends_with('.') ? " " : ". ") + note;
    // A run that changed the target and closed it properly (finished, or
    // stopped on request) left what undoing it needs.
    std::optional<TUndoOffer> offer;
    if ((outcome.Success || outcome.Cancelled()) &&
        (outcome.Summary.Added > 0 || (outcome.Success && createdDatabase)))
        offer = TUndoOffer{AbsoluteFolderText(choices.NewFolder), outcome.Summary.Added, createdDatabase};
    ShowResult(line, windowtext::RunDetails(outcome.Summary), std::move(offer));
}

void TConversionWindow::ShowResult(const std::string& line, const std::string& details,
                                   std::optional<TUndoOffer> offer)
{
    undoOffer_ = std::move(offer);
    view_.ShowResultLine(line);
    view_.ShowDetails(details);
    view_.ShowUndoOffer(undoOffer_.has_value());
}

void TConversionWindow::Undo()
{
    if (busy_ || !undoOffer_)
        return;
    const TUndoOffer offer = *undoOffer_;
    if (!view_.AskUndo(windowtext::UndoQuestion(offer.Folder, offer.Patterns, offer.CreatedDatabase)))
        return;
    TConversionUndone undone;
    try {
        // To its end on this thread, no events handled meanwhile: nothing
        // of the window can stop it half-way, and a stop signal is only
        // recorded (the window's stop watcher) and acted on after it.
        TWaiting waiting(view_);
        undone = UndoLastConversion(offer.Folder);
    } catch (const Exception& refusal) {
        undoOffer_.reset();
        view_.ShowUndoOffer(false);
        view_.ShowWarning(refusal.what());
        return;
    }
    lastRun_ = {}; // its patterns are gone
    ShowResult(windowtext::UndoneLine(undone.Result), {});
    if (!undone.LogWarning.empty())
        view_.ShowWarning(undone.LogWarning);
}

bool TConversionWindow::OfferRecovery(const TConversionOutcome& outcome, const std::string& newFolder)
{
    const TTypedFolder typed(newFolder);
    std::vector<std::string> problems;
    try {
        if (!IsReferenceDatabaseFolder(typed))
            return false;
        const TDatabaseLock lock = TDatabaseLock::Shared(typed);
        problems = CheckReferenceDatabase(newFolder);
    } catch (const Exception&) {
        return false; // not ours to look at now; the failure's message says enough
    }
    if (problems.empty())
        return false;
    if (!view_.AskRecover(
            windowtext::RecoverQuestion(outcome.FailureText(), newFolder, problems.size(), problems.front())))
        return true;
    TRecoveryReport report;
    {
        TBusyScope busy(*this);
        const TDatabaseLock lock = TDatabaseLock::Exclusive(typed);
        report = RecoverReferenceDatabase(newFolder, [this](const TProgress& progress) { ShowIfDue(progress, false); });
    }
    ShowResult(RecoveredLine(newFolder, report, CheckReferenceDatabase(newFolder).size()), {});
    return true;
}

void TConversionWindow::ShowIfDue(const TProgress& progress, bool cancellable)
{
    if (!throttle_.Due(progress))
        return;
    view_.ShowProgress(
        {windowtext::GroupThousands(ProgressText(progress)), progress.Done, progress.Total, cancellable});
    // Lets the indicator move and Cancel be pressed.
    view_.ProcessEvents();
}

void TConversionWindow::OnProgress(const TProgress& progress)
{
    ShowIfDue(progress, CanStopAt(progress));
    if ((cancelRequested_ || StopAsked()) && CanStopAt(progress))
        throw EConversionCancelled(CancelledText(progress));
}

bool TConversionWindow::StopAsked() const
{
    return stopRequested_ && stopRequested_();
}

void TConversionWindow::RequestCancel()
{
    if (busy_)
        cancelRequested_ = true;
}

void TConversionWindow::SetStopRequested(std::function<bool()> stopRequested)
{
    stopRequested_ = std::move(stopRequested);
}

bool TConversionWindow::MayClose(const TWindowChoices& choices)
{
    if (!busy_) {
        Remember(choices);
        return true;
    }
    if (!closeAfterRun_ && view_.AskStopAndClose()) {
        closeAfterRun_ = true;
        RequestCancel();
    }
    return false;
}

bool TConversionWindow::SessionEnding(const TWindowChoices& choices)
{
    if (!busy_) {
        Remember(choices);
        return true;
    }
    closeAfterRun_ = true;
    RequestCancel();
    return false;
}

void TConversionWindow::FolderEdited()
{
    if (!busy_)
        ShowResult({}, {});
}

} // namespace norrvik
