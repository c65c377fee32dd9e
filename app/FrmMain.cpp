// The main window and its conversion command.
#include "app/FrmMain.h"

#include "app/BusyIndicator.h"
#include "app/FHelp.h"
#include "app/FrmBrowser.h"
#include "app/FormDialogs.h"
#include "app/WindowFont.h"
#include "common/FolderChecks.h"
#include "common/ProgressText.h"
#include "convert/ConversionReport.h"
#include "convert/DryRun.h"
#include "convert/FormatDetection.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>

#include <algorithm>
#include <initializer_list>

namespace norrvik {

namespace {

constexpr int kClientWidth = 672;
constexpr int kClientHeight = 143;

// Where the desktop has only wider fonts, the labels' font is made smaller
// until every label ends before the column of the boxes they name.
void FitLabelsBefore(int column, std::initializer_list<QLabel*> labels)
{
    constexpr int kGap = 4;
    constexpr double kSmallestPointSize = 6.0;
    for (;;) {
        bool fit = true;
        for (QLabel* label : labels) {
            label->adjustSize();
            fit = fit && label->geometry().right() < column - kGap;
        }
        QFont font = (*labels.begin())->font();
        if (fit || font.pointSizeF() <= kSmallestPointSize)
            return;
        font.setPointSizeF(font.pointSizeF() - 0.5);
        for (QLabel* label : labels)
            label->setFont(font);
    }
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top, QWidget* buddy)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setBuddy(buddy);
    label->move(left, top);
    label->adjustSize();
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QRect& geometry)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    return edit;
}

QAction* MakeAction(QObject* list, const char* name, const QString& caption)
{
    auto* action = new QAction(caption, list);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QString FromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Keys of the remembered choices.
const QString kFormatKey = QStringLiteral("format");
const QString kOldFolderKey = QStringLiteral("oldFolder");
const QString kNewFolderKey = QStringLiteral("newFolder");

// The wait cursor for as long as it lives.
class TWaitCursor {
public:
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// A button bound to an action: the action's caption, and a click runs it.
void BindButton(QPushButton* button, QAction* action)
{
    button->setText(action->text());
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
}

} // namespace

QString FolderPathText(const QString& chosen)
{
    return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}

QString PickerStartFolder(const QString& typed)
{
    QString folder = typed.trimmed();
    while (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder || parent == QStringLiteral("."))
            return {};
        folder = parent;
    }
    return folder;
}

// Keeps the window busy for as long as it lives: leaving the scope, normally
// or by an exception, always brings the idle state back.
class TForm1::TBusyGuard {
public:
    explicit TBusyGuard(TForm1& form) : form_(form) { form_.EnterBusyState(); }
    ~TBusyGuard() { form_.LeaveBusyState(); }
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

private:
    TForm1& form_;
};

TForm1::TForm1(TConversionDrivers drivers, std::unique_ptr<TFormDialogs> dialogs,
               std::unique_ptr<QSettings> settings, QWidget* parent)
    : QWidget(parent), drivers_(std::move(drivers)), dialogs_(std::move(dialogs)), settings_(std::move(settings))
{
    if (!dialogs_)
        dialogs_ = std::make_unique<TQtFormDialogs>();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(formtext::kCaption);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    CreateControls();
    SetTabOrder();
    CenterOnScreen();
    frmHelp = new TfrmHelp(this);
    FormCreate();
    LoadSettings();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    CmbRefDBType = new QComboBox(this);
    CmbRefDBType->setObjectName(QStringLiteral("CmbRefDBType"));
    CmbRefDBType->setGeometry(232, 8, 353, 21);
    CmbRefDBType->setEditable(false);
    for (const FormatInfo& format : kFormats)
        CmbRefDBType->addItem(FromUtf8(format.windowLabel));
    Label3 = MakeLabel(this, "Label3", QStringLiteral("&Format of the old reference database:"), 8, 11, CmbRefDBType);

    EdtOldDB = MakeEdit(this, "EdtOldDB", QRect(232, 32, 353, 21));
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Folder with the &old reference database:"), 8, 35, EdtOldDB);
    btnBrowseOld = MakeButton(this, "btnBrowseOld", QStringLiteral("&Browse..."), QRect(589, 32, 75, 23));

    EdtNewDB = MakeEdit(this, "EdtNewDB", QRect(232, 56, 353, 21));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Folder with the &Tessaly reference database:"), 8, 59,
                       EdtNewDB);
    btnBrowseNew = MakeButton(this, "btnBrowseNew", QStringLiteral("B&rowse..."), QRect(589, 56, 75, 23));

    FitLabelsBefore(232, {Label3, Label1, Label2});

    btnHelp = MakeButton(this, "btnHelp", QStringLiteral("&Help..."), QRect(8, 112, 75, 23));

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ActConversion = MakeAction(ActionList1, "ActConversion", QStringLiteral("&Start Conversion"));
    ActExitProgram = MakeAction(ActionList1, "ActExitProgram", QStringLiteral("E&xit"));

    BtnStart = MakeButton(this, "BtnStart", QString(), QRect(568, 88, 99, 23));
    BindButton(BtnStart, ActConversion);
    BtnExit = MakeButton(this, "BtnExit", QString(), QRect(568, 112, 99, 23));
    BindButton(BtnExit, ActExitProgram);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setGeometry(232, 84, 330, 52);
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    aniShowWorking = new TBusyIndicator(this);
    aniShowWorking->setObjectName(QStringLiteral("aniShowWorking"));
    aniShowWorking->setGeometry(232, 80, 272, 60);

    // In the free space left of the result line; not one of the eight input
    // controls, and reached by Alt+D rather than a tab stop of its own.
    btnShowDatabase = MakeButton(this, "btnShowDatabase", QStringLiteral("Show &database..."), QRect(96, 112, 120, 23));
    btnShowDatabase->setFocusPolicy(Qt::ClickFocus);
    connect(btnShowDatabase, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnShowDatabaseClick); });

    inputControls_ = {BtnStart, BtnExit, btnHelp, btnBrowseOld, btnBrowseNew, CmbRefDBType, EdtOldDB, EdtNewDB};

    connect(btnBrowseOld, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnBrowseOldClick); });
    connect(btnBrowseNew, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnBrowseNewClick); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnHelpClick); });
    connect(ActConversion, &QAction::triggered, this, [this] { RunHandler(&TForm1::ActConversionExecute); });
    connect(ActExitProgram, &QAction::triggered, this, [this] { RunHandler(&TForm1::ActExitProgramExecute); });
    connect(aniShowWorking, &TBusyIndicator::cancelRequested, this, &TForm1::RequestCancel);

    // Escape while a conversion runs is the busy indicator's Cancel.
    escapeCancels_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escapeCancels_->setEnabled(false);
    connect(escapeCancels_, &QShortcut::activated, this, &TForm1::RequestCancel);
}

void TForm1::SetTabOrder()
{
    const QWidget* previous = nullptr;
    for (QWidget* control : {static_cast<QWidget*>(CmbRefDBType), static_cast<QWidget*>(EdtOldDB),
                             static_cast<QWidget*>(btnBrowseOld), static_cast<QWidget*>(EdtNewDB),
                             static_cast<QWidget*>(btnBrowseNew), static_cast<QWidget*>(btnHelp),
                             static_cast<QWidget*>(BtnStart), static_cast<QWidget*>(BtnExit)}) {
        if (previous != nullptr)
            QWidget::setTabOrder(const_cast<QWidget*>(previous), control);
        previous = control;
    }
}

void TForm1::CenterOnScreen()
{
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

void TForm1::FormCreate()
{
    CmbRefDBType->setCurrentIndex(0);
}

void TForm1::FormActivate()
{
    if (EdtOldDB->isEnabled())
        EdtOldDB->setFocus(Qt::ActiveWindowFocusReason);
}

void TForm1::btnBrowseOldClick()
{
    BrowseInto(Label1, EdtOldDB);
}

void TForm1::btnBrowseNewClick()
{
    BrowseInto(Label2, EdtNewDB);
}

void TForm1::BrowseInto(QLabel* label, QLineEdit* edit)
{
    // The picker's title is the label's caption as it stands, ampersand
    // included; it opens at the folder already typed.
    const std::optional<QString> chosen =
        dialogs_->ChooseFolder(this, label->text(), PickerStartFolder(edit->text()));
    if (chosen)
        edit->setText(FolderPathText(*chosen));
    FormActivate();
}

void TForm1::btnHelpClick()
{
    frmHelp->exec();
    FormActivate();
}

void TForm1::ActExitProgramExecute()
{
    // The program ends when its main window closes (main.cpp).
    close();
}

void TForm1::Warn(const QString& text)
{
    dialogs_->ShowWarning(this, text);
    FormActivate();
}

void TForm1::ActConversionExecute()
{
    lblStatus->clear();
    const std::string oldFolder = EdtOldDB->text().toStdString();
    const std::string newFolder = EdtNewDB->text().toStdString();
    if (!FoldersAcceptable(oldFolder, newFolder))
        return;
    const FormatInfo* format = FormatAt(CmbRefDBType->currentIndex());
    if (format != nullptr &&
        (!ConfirmFormat(format, oldFolder) || !ConfirmReimport(*format, oldFolder, newFolder)))
        return;
    SaveSettings();
    RunConversion(format, oldFolder, newFolder);
}

bool TForm1::FoldersAcceptable(const std::string& oldFolder, const std::string& newFolder)
{
    if (NamesAFile(oldFolder)) {
        Warn(QString::fromStdString(NotAFolderMessage(kOldFolderWhat, oldFolder)));
        return false;
    }
    if (!OldFolderExists(oldFolder)) {
        Warn(QString::fromStdString(OldFolderMissingMessage(oldFolder)));
        return false;
    }
    if (TargetFolderBlank(newFolder)) {
        Warn(QString::fromStdString(std::string(kEmptyTargetMessage)));
        return false;
    }
    if (NamesAFile(newFolder)) {
        Warn(QString::fromStdString(NotAFolderMessage(kNewFolderWhat, newFolder)));
        return false;
    }
    return true;
}

bool TForm1::ConfirmFormat(const FormatInfo*& format, const std::string& oldFolder)
{
    const std::vector<const FormatInfo*> found = DetectFormats(oldFolder);
    if (found.empty() || std::find(found.begin(), found.end(), format) != found.end())
        return true;
    const FormatChoice choice = dialogs_->AskFormatMismatch(
        this, formtext::kConversionTitle, QString::fromStdString(FormatMismatchText(oldFolder, *format, found)),
        FromUtf8(format->displayName), FromUtf8(found.front()->displayName));
    FormActivate();
    if (choice == FormatChoice::AsFound) {
        format = found.front();
        CmbRefDBType->setCurrentIndex(FormatIndex(*format));
    }
    return choice != FormatChoice::GoBack;
}

bool TForm1::ConfirmReimport(const FormatInfo& format, const std::string& oldFolder, const std::string& newFolder)
{
    long earlier = 0;
    {
        TWaitCursor wait;
        if (!IsUserDatabaseConversion(format, oldFolder))
            return true;
        try {
            earlier = CountEarlierImports(newFolder, oldFolder);
        } catch (const Exception&) {
            return true; // the conversion itself says what is wrong with the target
        }
    }
    if (earlier == 0)
        return true;
    const bool addAgain = dialogs_->AskAddAgain(
        this, formtext::kConversionTitle, QString::fromStdString(EarlierImportsText(earlier, oldFolder, newFolder)));
    FormActivate();
    return addAgain;
}

void TForm1::RunConversion(const FormatInfo* format, const std::string& oldFolder, const std::string& newFolder)
{
    ConversionSummary summary;
    bool success = false;
    if (frmBrowser != nullptr)
        frmBrowser->CloseDatabase(); // its shared lock would refuse the conversion
    try {
        TBusyGuard busy(*this);
        success = RunDriver(format, oldFolder, newFolder, summary);
        if (!success)
            dialogs_->ShowOkCancel(this, formtext::kConversionFailed, formtext::kConversionTitle);
    } catch (const ConversionCancelled& cancelled) {
        lblStatus->setText(QString::fromStdString(StoppedResultLine(cancelled.what(), summary)));
        return;
    } catch (...) {
        // The top-level handler shows the message; the line says what the target holds.
        lblStatus->setText(QString::fromStdString(StoppedResultLine(formtext::kConversionFailed.toStdString(), summary)));
        throw;
    }
    lastAdded_ = {newFolder, summary.added};
    lblStatus->setText(QString::fromStdString(success ? ResultLine(summary)
                                                      : StoppedResultLine(formtext::kConversionFailed.toStdString(),
                                                                          summary)));
}

bool TForm1::RunDriver(const FormatInfo* format, const std::string& oldFolder, const std::string& newFolder,
                       ConversionSummary& summary)
{
    if (format == nullptr)
        return false; // no format chosen: nothing to call
    const ConversionDriver& driver = drivers_.*(format->driver);
    if (!driver)
        return false;
    bool success = false;
    driver(oldFolder, newFolder, success, [this](const Progress& progress) { ConversionProgress(progress); },
           &summary);
    return success;
}

void TForm1::LoadSettings()
{
    if (!settings_)
        return;
    if (const FormatInfo* format = FormatByCliName(settings_->value(kFormatKey).toString().toStdString()))
        CmbRefDBType->setCurrentIndex(FormatIndex(*format));
    EdtOldDB->setText(settings_->value(kOldFolderKey).toString());
    EdtNewDB->setText(settings_->value(kNewFolderKey).toString());
}

void TForm1::SaveSettings()
{
    if (!settings_)
        return;
    if (const FormatInfo* format = FormatAt(CmbRefDBType->currentIndex()))
        settings_->setValue(kFormatKey, FromUtf8(format->cliName));
    settings_->setValue(kOldFolderKey, EdtOldDB->text());
    settings_->setValue(kNewFolderKey, EdtNewDB->text());
    settings_->sync();
}

void TForm1::ConversionProgress(const Progress& progress)
{
    aniShowWorking->ShowProgress(progress);
    // Lets the indicator move and the Cancel button be pressed.
    QCoreApplication::processEvents();
    if (cancelRequested_ && CanStopAt(progress))
        throw ConversionCancelled(CancelledText(progress));
}

void TForm1::RequestCancel()
{
    if (busy_)
        cancelRequested_ = true;
}

void TForm1::EnterBusyState()
{
    busy_ = true;
    cancelRequested_ = false;
    for (QWidget* control : inputControls_)
        control->setEnabled(false);
    aniShowWorking->Start();
    escapeCancels_->setEnabled(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void TForm1::LeaveBusyState()
{
    for (QWidget* control : inputControls_)
        control->setEnabled(true);
    aniShowWorking->Stop();
    escapeCancels_->setEnabled(false);
    QApplication::restoreOverrideCursor();
    busy_ = false;
    cancelRequested_ = false;
    FormActivate();
}

void TForm1::RunHandler(void (TForm1::*handler)())
{
    // Qt must never see an exception leave an event handler.
    try {
        (this->*handler)();
    } catch (const std::exception& error) {
        ShowException(error);
    } catch (...) {
        ShowException(Exception("Unknown error"));
    }
}

void TForm1::btnShowDatabaseClick()
{
    const std::string folder = EdtNewDB->text().toStdString();
    if (!busy_)
        ShowDatabaseBrowser(this, frmBrowser, folder, lastAdded_.first == folder ? lastAdded_.second : 0);
}

void TForm1::ShowException(const std::exception& error)
{
    QString text = QString::fromStdString(error.what());
    if (text.isEmpty())
        text = QStringLiteral("Unknown error");
    dialogs_->ShowError(this, text);
    FormActivate();
}

bool TForm1::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    // Only the first activation moves the focus: coming back from another
    // application leaves it where the user had it. After the window's own
    // dialogs the handlers call FormActivate themselves.
    if (event->type() == QEvent::WindowActivate && !activatedOnce_) {
        activatedOnce_ = true;
        FormActivate();
    }
    return handled;
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing while a conversion runs would pull the window away from a
    // driver that still reports to it: stop the conversion first.
    if (busy_) {
        RequestCancel();
        aniShowWorking->lblProgress->setText(QStringLiteral("Cancelling..."));
        event->ignore();
        return;
    }
    SaveSettings();
    QWidget::closeEvent(event);
}

} // namespace norrvik
