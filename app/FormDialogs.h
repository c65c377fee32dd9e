// The dialogs the main window asks the user through: warnings, the
// "Conversion failed" box, the error box of the application's top-level
// handler, the folder picker, the questions before a conversion (a folder
// that holds another format than the one chosen; a last run from the same
// folder that stopped part-way; a target that already holds patterns
// imported from the same folder), "Stop and close?" while one runs, the
// details of a run, the question before undoing the last run, and the offer
// to recover a damaged target. The window talks to them through this
// interface so that tests can answer them without a person; their texts
// come from window/WindowTexts.h.
#pragma once

#include "window/WindowView.h"

#include <QString>

#include <optional>

class QWidget;

namespace norrvik {

class TFormDialogs {
public:
    virtual ~TFormDialogs() = default;

    // A warning box with the warning icon and one OK button.
    virtual void ShowWarning(QWidget* parent, const QString& text) = 0;
    // A box with `text`, `title` and the buttons OK and Cancel; which one the
    // user presses makes no difference.
    virtual void ShowOkCancel(QWidget* parent, const QString& text, const QString& title) = 0;
    // The error box of the application's top-level handler.
    virtual void ShowError(QWidget* parent, const QString& text) = 0;
    // A picker of existing folders, titled `title`, opened at `startFolder`
    // (the platform's default when empty); the chosen folder, or nothing
    // when the user cancels.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title,
                                                const QString& startFolder) = 0;
    // Asks whether to convert as the format chosen, as the one found, or to
    // go back to the window; `chosen` and `found` are the formats' names.
    virtual FormatChoice AskFormatMismatch(QWidget* parent, const QString& title, const QString& text,
                                           const QString& chosen, const QString& found) = 0;
    // Asks whether to add the entries again; true to go on.
    virtual bool AskAddAgain(QWidget* parent, const QString& title, const QString& text) = 0;
    // Asks whether to finish a stopped run, add every entry again or go back.
    virtual ResumeChoice AskFinishTheRest(QWidget* parent, const QString& title, const QString& text) = 0;
    // Shows the result line of a run with its details.
    virtual void ShowDetails(QWidget* parent, const QString& title, const QString& line, const QString& details) = 0;
    // Asks whether to stop the running conversion and close; true for yes.
    virtual bool AskStopAndClose(QWidget* parent) = 0;
    // Offers to recover a damaged target; true to recover.
    virtual bool AskRecover(QWidget* parent, const QString& title, const QString& text) = 0;
    // Asks Yes or No before the last run is undone; true for yes.
    virtual bool AskUndo(QWidget* parent, const QString& title, const QString& text) = 0;

protected:
    TFormDialogs() = default;
    TFormDialogs(const TFormDialogs&) = default;
    TFormDialogs& operator=(const TFormDialogs&) = default;
};

// The dialogs of the desktop: message boxes and the platform's folder picker.
class TQtFormDialogs : public TFormDialogs {
public:
    void ShowWarning(QWidget* parent, const QString& text) override;
    void ShowOkCancel(QWidget* parent, const QString& text, const QString& title) override;
    void ShowError(QWidget* parent, const QString& text) override;
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
    FormatChoice AskFormatMismatch(QWidget* parent, const QString& title, const QString& text, const QString& chosen,
                                   const QString& found) override;
    bool AskAddAgain(QWidget* parent, const QString& title, const QString& text) override;
    ResumeChoice AskFinishTheRest(QWidget* parent, const QString& title, const QString& text) override;
    void ShowDetails(QWidget* parent, const QString& title, const QString& line, const QString& details) override;
    bool AskStopAndClose(QWidget* parent) override;
    bool AskRecover(QWidget* parent, const QString& title, const QString& text) override;
    bool AskUndo(QWidget* parent, const QString& title, const QString& text) override;
};

} // namespace norrvik
