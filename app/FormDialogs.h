// The dialogs the main window asks the user through: warnings, the
// "Conversion failed" box, the error box of the application's top-level
// handler and the folder picker. The window talks to them through this
// interface so that tests can answer them without a person.
#pragma once

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
    // A picker of existing folders, titled `title`, starting with nothing
    // selected; the chosen folder, or nothing when the user cancels.
    virtual std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) = 0;

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
    std::optional<QString> ChooseFolder(QWidget* parent, const QString& title) override;
};

} // namespace norrvik
