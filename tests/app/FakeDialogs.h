// Dialogs for the window tests: they record what the window asked and give
// the answers a test set, so no person is needed; and the one application
// object every window test shares.
#pragma once

#include "app/FormDialogs.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace norrvik::test {

struct DialogLog {
    QStringList warnings;
    QStringList okCancelTexts;
    QStringList okCancelTitles;
    QStringList errors;
    QStringList pickerTitles;
    QStringList pickerStarts;
    std::optional<QString> pickerAnswer;
    QStringList questions; // the texts of the two questions before a conversion
    FormatChoice formatAnswer = FormatChoice::GoBack;
    bool addAgainAnswer = false;
    ResumeChoice resumeAnswer = ResumeChoice::GoBack;
    QStringList details; // the details boxes shown: "line|details"
    int stopAndCloseAsked = 0;
    bool stopAndCloseAnswer = false;
    QStringList recoverQuestions;
    bool recoverAnswer = false;
    // Called while an OK/Cancel box is "open" (to look at the window then).
    std::function<void()> whileOkCancelOpen;
};

class FakeDialogs : public TFormDialogs {
public:
    explicit FakeDialogs(DialogLog& log) : log_(log) {}

    void ShowWarning(QWidget*, const QString& text) override { log_.warnings << text; }
    void ShowOkCancel(QWidget*, const QString& text, const QString& title) override
    {
        log_.okCancelTexts << text;
        log_.okCancelTitles << title;
        if (log_.whileOkCancelOpen)
            log_.whileOkCancelOpen();
    }
    void ShowError(QWidget*, const QString& text) override { log_.errors << text; }
    std::optional<QString> ChooseFolder(QWidget*, const QString& title, const QString& startFolder) override
    {
        log_.pickerTitles << title;
        log_.pickerStarts << startFolder;
        return log_.pickerAnswer;
    }
    FormatChoice AskFormatMismatch(QWidget*, const QString&, const QString& text, const QString& chosen,
                                   const QString& found) override
    {
        log_.questions << text + " [" + found + "|" + chosen + "]";
        return log_.formatAnswer;
    }
    bool AskAddAgain(QWidget*, const QString&, const QString& text) override
    {
        log_.questions << text;
        return log_.addAgainAnswer;
    }

    ResumeChoice AskFinishTheRest(QWidget*, const QString&, const QString& text) override
    {
        log_.questions << text;
        return log_.resumeAnswer;
    }
    void ShowDetails(QWidget*, const QString&, const QString& line, const QString& details) override
    {
        log_.details << line + "|" + details;
    }

    // Handles what waits in the event queue meanwhile, as the modal box would.
    bool AskStopAndClose(QWidget*) override
    {
        ++log_.stopAndCloseAsked;
        QCoreApplication::processEvents();
        return log_.stopAndCloseAnswer;
    }
    bool AskRecover(QWidget*, const QString&, const QString& text) override
    {
        log_.recoverQuestions << text;
        return log_.recoverAnswer;
    }
    bool AskUndo(QWidget*, const QString&, const QString&) override { return false; }

private:
    DialogLog& log_;
};

// Creates the application object on first use (offscreen platform).
void EnsureApplication();

} // namespace norrvik::test
