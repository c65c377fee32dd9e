// The main window, a view of the conversion window's model
// (window/ConversionWindow.h): the format of the old database, its folder
// and the folder of the Tessaly database, two folder pickers, the help
// dialog and the conversion command. The model decides what is checked and
// asked, runs the conversion and words the result line; the window draws
// it, asks its questions through the dialogs given to it, and keeps the
// last format and folders in the settings given to it.
#pragma once

#include "app/FormDialogs.h"
#include "convert/ConversionDrivers.h"
#include "window/ConversionWindow.h"
#include "window/WindowTexts.h"
#include "window/WindowView.h"

#include <QString>
#include <QSettings>
#include <QWidget>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class QShortcut;

namespace norrvik {

class TBusyIndicator;
class TFrmBrowser;
class TfrmHelp;

// Texts the window shows (the format items come from the table of formats).
namespace formtext {
inline const QString kCaption = QString::fromUtf8(windowtext::kCaption);
inline const QString kConversionFailed = QString::fromUtf8(windowtext::kConversionFailed);
inline const QString kConversionTitle = QString::fromUtf8(windowtext::kConversionTitle);
} // namespace formtext

// The text a chosen folder puts into an edit box: the full path with the
// platform's delimiters and no trailing delimiter unless it is a root.
QString FolderPathText(const QString& chosen);

// Where a folder picker opens for a typed folder text: the folder itself, or
// its nearest existing parent; empty when nothing of it exists.
QString PickerStartFolder(const QString& typed);

class TForm1 : public QWidget, private TWindowView {
    Q_OBJECT
public:
    // Without `settings` nothing is remembered between runs.
    explicit TForm1(TConversionDrivers drivers, std::unique_ptr<TFormDialogs> dialogs = nullptr,
                    std::unique_ptr<QSettings> settings = nullptr, QWidget* parent = nullptr);
    ~TForm1() override;

    // The event handlers of the window.
    void FormCreate();
    void FormActivate();
    void btnBrowseOldClick();
    void btnBrowseNewClick();
    void btnHelpClick();
    void ActExitProgramExecute();
    // Shows the details of the last run.
    void btnDetailsClick();
    // Undoes the last run, once the user says yes.
    void btnUndoClick();
    // Opens the pattern browser on the Tessaly folder (on the patterns the
    // last conversion added to it, if any).
    void btnShowDatabaseClick();
    // The conversion command. An exception of a driver leaves it after the
    // window is idle again; a conversion stopped with Cancel ends quietly
    // with its message in the status line.
    void ActConversionExecute();
    // The format and folders as they stand in the window.
    TWindowChoices Choices() const;
    void SetChoices(const TWindowChoices& choices);
    // A stop asked from outside the window (a signal), looked at during a run.
    void SetStopRequested(std::function<bool()> stopRequested);

    // The application's top-level handler: shows the message of an
    // exception that ended a command.
    void ShowException(const std::exception& error);

    bool IsBusy() const { return model_.IsBusy(); }
    // Asks a running conversion to stop after the entry it is working on.
    void RequestCancel();

    // The controls, named as in the window's description.
    QLabel* Label3 = nullptr;
    QComboBox* CmbRefDBType = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* EdtOldDB = nullptr;
    QPushButton* btnBrowseOld = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* EdtNewDB = nullptr;
    QPushButton* btnBrowseNew = nullptr;
    QPushButton* btnHelp = nullptr;
    QPushButton* BtnStart = nullptr;
    QPushButton* BtnExit = nullptr;
    TBusyIndicator* aniShowWorking = nullptr;
    // What the last conversion did, until the next command.
    QLabel* lblStatus = nullptr;
    QObject* ActionList1 = nullptr;
    QAction* ActConversion = nullptr;
    QAction* ActExitProgram = nullptr;
    TfrmHelp* frmHelp = nullptr;
    QPushButton* btnShowDatabase = nullptr;
    // Beside the result line when the last run has details (RunDetails).
    QPushButton* btnDetails = nullptr;
    // Beside it after a run that changed the target (ShowUndoOffer).
    QPushButton* btnUndo = nullptr;
    TFrmBrowser* frmBrowser = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateResultButtons();
    void ConnectControls();
    void SetTabOrder();
    void CenterOnScreen();
    // Runs a handler the way the application's message loop would: an
    // exception it raises is shown by the top-level handler.
    void RunHandler(void (TForm1::*handler)());
    void BrowseInto(QLabel* label, QLineEdit* edit);

    // The view the model drives.
    void ShowWarning(const std::string& text) override;
    void ShowConversionFailed() override;
    FormatChoice AskFormatMismatch(const std::string& text, const std::string& chosen,
                                   const std::string& found) override;
    bool AskAddAgain(const std::string& text) override;
    ResumeChoice AskFinishTheRest(const std::string& text) override;
    bool AskStopAndClose() override;
    bool AskRecover(const std::string& text) override;
    bool AskUndo(const std::string& text) override;
    void ShowFormat(int index) override;
    void ShowResultLine(const std::string& text) override;
    void ShowDetails(const std::string& details) override;
    void ShowUndoOffer(bool offered) override;
    void EnterBusy() override;
    void LeaveBusy() override;
    void ShowProgress(const TProgressDisplay& display) override;
    void ProcessEvents() override;
    void SetWaiting(bool waiting) override;
    void CloseWindow() override;

    std::unique_ptr<TFormDialogs> dialogs_;
    std::unique_ptr<TWindowSettings> settings_;
    TConversionWindow model_;
    QShortcut* escapeCancels_ = nullptr;
    bool activatedOnce_ = false;
    // The eight input controls, in the order the busy state disables them.
    std::array<QWidget*, 8> inputControls_{};
    // The details of the last run; empty for none.
    QString details_;
};

} // namespace norrvik
