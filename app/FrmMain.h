// The main window: the format of the old database, its folder and the
// folder of the Tessaly database, two folder pickers, the help dialog and
// the conversion command, which checks the folders, asks before converting a
// folder that holds another format than the one chosen or that the target
// already holds patterns from, keeps the window busy while a conversion
// driver runs, and reports how the conversion ended. The last format and
// folders are remembered in the settings given to it.
#pragma once

#include "common/Progress.h"
#include "app/FormDialogs.h"
#include "convert/ConversionDrivers.h"
#include "convert/Conversion.h"
#include "convert/Formats.h"

#include <QString>
#include <QSettings>
#include <QWidget>

#include <array>
#include <exception>
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
inline const QString kCaption = QStringLiteral("Convert Reference Database to Orvel Tessaly  Format");
inline const QString kConversionFailed = QStringLiteral("Conversion failed");
inline const QString kConversionTitle = QStringLiteral("Reference Database Conversion");
} // namespace formtext

// The text a chosen folder puts into an edit box: the full path with the
// platform's delimiters and no trailing delimiter unless it is a root.
QString FolderPathText(const QString& chosen);

// Where a folder picker opens for a typed folder text: the folder itself, or
// its nearest existing parent; empty when nothing of it exists.
QString PickerStartFolder(const QString& typed);

class TForm1 : public QWidget {
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
    // Opens the pattern browser on the Tessaly folder (on the patterns the
    // last conversion added to it, if any).
    void btnShowDatabaseClick();
    // The conversion command. An exception of a driver leaves it after the
    // window is idle again; a conversion stopped with Cancel ends quietly
    // with its message in the status line.
    void ActConversionExecute();

    // The application's top-level handler: shows the message of an
    // exception that ended a command.
    void ShowException(const std::exception& error);

    bool IsBusy() const { return busy_; }
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
    TFrmBrowser* frmBrowser = nullptr;

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class TBusyGuard;

    void CreateControls();
    void SetTabOrder();
    void CenterOnScreen();
    // Runs a handler the way the application's message loop would: an
    // exception it raises is shown by the top-level handler.
    void RunHandler(void (TForm1::*handler)());
    void BrowseInto(QLabel* label, QLineEdit* edit);
    void Warn(const QString& text);
    // The folder checks; false after a warning.
    bool FoldersAcceptable(const std::string& oldFolder, const std::string& newFolder);
    // The questions before a conversion; false when the user goes back.
    // The format may become the one the folder holds.
    bool ConfirmFormat(const FormatInfo*& format, const std::string& oldFolder);
    bool ConfirmReimport(const FormatInfo& format, const std::string& oldFolder, const std::string& newFolder);
    void RunConversion(const FormatInfo* format, const std::string& oldFolder, const std::string& newFolder);
    // Calls the driver of the format; false for no format or no driver.
    bool RunDriver(const FormatInfo* format, const std::string& oldFolder, const std::string& newFolder,
                   ConversionSummary& summary);
    void LoadSettings();
    void SaveSettings();
    void ConversionProgress(const Progress& progress);
    void EnterBusyState();
    void LeaveBusyState();

    TConversionDrivers drivers_;
    std::unique_ptr<TFormDialogs> dialogs_;
    std::unique_ptr<QSettings> settings_;
    QShortcut* escapeCancels_ = nullptr;
    bool activatedOnce_ = false;
    bool busy_ = false;
    bool cancelRequested_ = false;
    // The eight input controls, in the order the busy state disables them.
    std::array<QWidget*, 8> inputControls_{};
    // The target folder of the last conversion and the patterns it added.
    std::pair<std::string, long> lastAdded_;
};

} // namespace norrvik
