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
    QStringList Warnings;
    QStringList OkCancelTexts;
    QStringList OkCancelTitles;
    QStringList Errors;
    QStringList PickerTitles;
    QStringList PickerStarts;
    std::optional<QString> PickerAnswer;
    QStringList Questions; // the texts of the two questions before a conversion
    FormatChoice FormatAnswer = FormatChoice::GoBack;
    bool AddAgainAnswer = false;
    ResumeChoice ResumeAnswer = ResumeChoice::GoBack;
    QStringList Details; // the details boxes shown: "line|details"
    int StopAndCloseAsked = 0;
    bool StopAndCloseAnswer = false;
    QStringList RecoverQuestions;
    bool RecoverAnswer = false;
    // Called while an OK/Cancel box is "open" (to look at the window then).
    std::function<void()> WhileOkCancelOpen;
};

class FakeDialogs : public TFormDialogs {
public:
    explicit FakeDialogs(DialogLog& log) : log_(log) {}

    void ShowWarning(QWidget*, const QString& text) override { log_.Warnings << text; }
    void ShowOkCancel(QWidget*, const QString& text, const QString& title) override
    {
        log_.OkCancelTexts << text;
        log_.OkCancelTitles << title;
        if (log_.WhileOkCancelOpen)
            log_.WhileOkCancelOpen();
    }
    void ShowError(QWidget*, const QString& text) override { log_.Errors << text; }
    std::optional<QString> ChooseFolder(QWidget*, const QString& title, const QString& startFolder) override
    {
        log_.PickerTitles << title;
        log_.PickerStarts << startFolder;
        return log_.PickerAnswer;
    }
    FormatChoice AskFormatMismatch(QWidget*, const QString&, const QString& text, const QString& chosen,
                                   const QString& found) override
    {
        log_.Questions << text + " [" + found + "|" + chosen + "]";
        return log_.FormatAnswer;
    }
    bool AskAddAgain(QWidget*, const QString&, const QString& text) override
    {
        log_.Questions << text;
        return log_.AddAgainAnswer;
    }

    ResumeChoice AskFinishTheRest(QWidget*, const QString&, const QString& text) override
    {
        log_.Questions << text;
        return log_.ResumeAnswer;
    }
    void ShowDetails(QWidget*, const QString&, const QString& line, const QString& details) override
    {
        log_.Details << line + "|" + details;
    }

    // Handles what waits in the event queue meanwhile, as the modal box would.
    bool AskStopAndClose(QWidget*) override
    {
        ++log_.StopAndCloseAsked;
        QCoreApplication::processEvents();
        return log_.StopAndCloseAnswer;
    }
    bool AskRecover(QWidget*, const QString&, const QString& text) override
    {
        log_.RecoverQuestions << text;
        return log_.RecoverAnswer;
    }
    bool AskUndo(QWidget*, const QString&, const QString&) override { return false; }

private:
    DialogLog& log_;
};

// Creates the application object on first use (offscreen platform).
void EnsureApplication();

} // namespace norrvik::test
