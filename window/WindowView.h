// What a window shows and asks for the conversion window's model: the
// boxes and questions (answered through the view, so that a test or any
// toolkit can answer them), the busy and idle states, the progress, the
// result line, its details and the offer to undo the run; and where the
// remembered choices are kept.
#pragma once

#include <string>

namespace norrvik {

// The answers to a format that does not match the old folder.
enum class FormatChoice { AsChosen, AsFound, GoBack };

// The answers when the last run from the old folder into the target stopped
// part-way: convert only the entries it did not store, every entry again, or
// nothing.
enum class ResumeChoice { FinishTheRest, AddAgain, GoBack };

// What the busy indicator shows for a progress report.
struct TProgressDisplay {
    std::string Text; // "Converting entry 12 of 380", or "Cancelling..."
    long Done = 0;
    long Total = 0; // 0: no known end
    bool CanCancel = true; // false once the index writing has begun (it always runs to the end)
};

class TWindowView {
public:
    virtual ~TWindowView() = default;

    // A warning box with one OK button.
    virtual void ShowWarning(const std::string& text) = 0;
    // The box of a conversion that did not succeed, with OK and Cancel.
    virtual void ShowConversionFailed() = 0;
    // The questions (texts and button captions in WindowTexts.h).
    virtual FormatChoice AskFormatMismatch(const std::string& text, const std::string& chosen,
                                           const std::string& found) = 0;
    virtual bool AskAddAgain(const std::string& text) = 0;
    virtual ResumeChoice AskFinishTheRest(const std::string& text) = 0;
    virtual bool AskStopAndClose() = 0;
    virtual bool AskRecover(const std::string& text) = 0;
    // Yes/No before undoing the last run (UndoQuestion); true for yes.
    virtual bool AskUndo(const std::string& text) = 0;

    // The format list shows the format at this position of kFormats.
    virtual void ShowFormat(int index) = 0;
    virtual void ShowResultLine(const std::string& text) = 0;
    // What the result line leaves out (WindowTexts.h, RunDetails), offered
    // beside it; empty: nothing is offered.
    virtual void ShowDetails(const std::string& details) = 0;
    // The button that undoes the last run (kUndoButton), offered beside the
    // result line or hidden.
    virtual void ShowUndoOffer(bool offered) = 0;
    // Inputs disabled, the busy indicator moving without a known end, the
    // wait cursor; and back.
    virtual void EnterBusy() = 0;
    virtual void LeaveBusy() = 0;
    virtual void ShowProgress(const TProgressDisplay& display) = 0;
    // Lets the toolkit handle what the user did meanwhile (Cancel, Escape,
    // closing); called only a few dozen times a second during a run.
    virtual void ProcessEvents() = 0;
    // The wait cursor while the model reads the target before a run.
    virtual void SetWaiting(bool waiting) = 0;
    // Closes the window (after "Stop and close?" was answered yes).
    virtual void CloseWindow() = 0;

protected:
    TWindowView() = default;
    TWindowView(const TWindowView&) = default;
    TWindowView& operator=(const TWindowView&) = default;
};

// Where the last choices are kept between runs (a settings file, the registry).
class TWindowSettings {
public:
    virtual ~TWindowSettings() = default;
    // The value of `key`; empty when none is kept.
    virtual std::string Value(const std::string& key) const = 0;
    virtual void SetValue(const std::string& key, const std::string& value) = 0;
    // Writes the values out now.
    virtual void Sync() = 0;

protected:
    TWindowSettings() = default;
    TWindowSettings(const TWindowSettings&) = default;
    TWindowSettings& operator=(const TWindowSettings&) = default;
};

} // namespace norrvik
