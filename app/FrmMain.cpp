// The main window and its conversion command.
#include "app/FrmMain.h"

#include "app/BusyIndicator.h"
#include "app/FHelp.h"
#include "app/FrmBrowser.h"
#include "app/FormDialogs.h"
#include "app/WindowFont.h"
#include "app/WindowIcon.h"
#include "convert/FormatDetection.h"
#include "window/FolderText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
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

// The remembered choices in a QSettings store.
class TQtWindowSettings : public TWindowSettings {
public:
    explicit TQtWindowSettings(std::unique_ptr<QSettings> settings) : settings_(std::move(settings)) {}
    std::string Value(const std::string& key) const override
    {
        return settings_->value(QString::fromStdString(key)).toString().toStdString();
    }
    void SetValue(const std::string& key, const std::string& value) override
    {
        settings_->setValue(QString::fromStdString(key), QString::fromStdString(value));
    }
    void Sync() override { settings_->sync(); }

private:
    std::unique_ptr<QSettings> settings_;
};

std::unique_ptr<TWindowSettings> WindowSettingsOf(std::unique_ptr<QSettings> settings)
{
    if (!settings)
        return nullptr;
    return std::make_unique<TQtWindowSettings>(std::move(settings));
}

QString Caption(const char* text)
{
    return QString::fromUtf8(text);
}

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

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
    return Text(norrvik::PickerStartFolder(typed.toStdString()));
}

TForm1::TForm1(TConversionDrivers drivers, std::unique_ptr<TFormDialogs> dialogs,
               std::unique_ptr<QSettings> settings, QWidget* parent)
    : QWidget(parent), dialogs_(std::move(dialogs)), settings_(WindowSettingsOf(std::move(settings))),
      model_(std::move(drivers), *this, settings_.get())
{
    if (!dialogs_)
        dialogs_ = std::make_unique<TQtFormDialogs>();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(formtext::kCaption);
    setWindowIcon(WindowIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    CreateControls();
    ConnectControls();
    SetTabOrder();
    CenterOnScreen();
    frmHelp = new TfrmHelp(this);
    FormCreate();
    SetChoices(model_.RememberedChoices());
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    CmbRefDBType = new QComboBox(this);
    CmbRefDBType->setObjectName(QStringLiteral("CmbRefDBType"));
    CmbRefDBType->setGeometry(232, 8, 353, 21);
    CmbRefDBType->setEditable(false);
    for (const TFormatInfo& format : kFormats)
        CmbRefDBType->addItem(FromUtf8(format.WindowLabel));
    Label3 = MakeLabel(this, "Label3", Caption(windowtext::kFormatLabel), 8, 11, CmbRefDBType);

    EdtOldDB = MakeEdit(this, "EdtOldDB", QRect(232, 32, 353, 21));
    Label1 = MakeLabel(this, "Label1", Caption(windowtext::kOldFolderLabel), 8, 35, EdtOldDB);
    btnBrowseOld = MakeButton(this, "btnBrowseOld", Caption(windowtext::kBrowseOldButton), QRect(589, 32, 75, 23));

    EdtNewDB = MakeEdit(this, "EdtNewDB", QRect(232, 56, 353, 21));
    Label2 = MakeLabel(this, "Label2", Caption(windowtext::kNewFolderLabel), 8, 59,
                       EdtNewDB);
    btnBrowseNew = MakeButton(this, "btnBrowseNew", Caption(windowtext::kBrowseNewButton), QRect(589, 56, 75, 23));

    FitLabelsBefore(232, {Label3, Label1, Label2});

    btnHelp = MakeButton(this, "btnHelp", Caption(windowtext::kHelpButton), QRect(8, 112, 75, 23));

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ActConversion = MakeAction(ActionList1, "ActConversion", Caption(windowtext::kStartButton));
    ActExitProgram = MakeAction(ActionList1, "ActExitProgram", Caption(windowtext::kExitButton));

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

    CreateResultButtons();

    inputControls_ = {BtnStart, BtnExit, btnHelp, btnBrowseOld, btnBrowseNew, CmbRefDBType, EdtOldDB, EdtNewDB};
}

// The buttons in the free space left of the result line: not among the eight
// input controls, and reached by their accelerators rather than tab stops.
void TForm1::CreateResultButtons()
{
    const auto make = [this](const char* name, const QString& caption, const QRect& geometry,
                             void (TForm1::*handler)()) {
        QPushButton* button = MakeButton(this, name, caption, geometry);
        button->setFocusPolicy(Qt::ClickFocus);
        connect(button, &QPushButton::clicked, this, [this, handler] { RunHandler(handler); });
        return button;
    };
    btnShowDatabase = make("btnShowDatabase", QStringLiteral("Show &database..."), QRect(96, 112, 120, 23),
                           &TForm1::btnShowDatabaseClick);
    // Above it, shown only while the result line has details.
    btnDetails = make("btnDetails", Caption(windowtext::kDetailsButton), QRect(132, 86, 84, 23),
                      &TForm1::btnDetailsClick);
    btnDetails->hide();
    // Left of it, shown only while the last run can be undone.
    btnUndo = make("btnUndo", Caption(windowtext::kUndoButton), QRect(8, 86, 120, 23), &TForm1::btnUndoClick);
    btnUndo->hide();
}

void TForm1::ConnectControls()
{
    connect(btnBrowseOld, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnBrowseOldClick); });
    connect(btnBrowseNew, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnBrowseNewClick); });
    connect(btnHelp, &QPushButton::clicked, this, [this] { RunHandler(&TForm1::btnHelpClick); });
    connect(ActConversion, &QAction::triggered, this, [this] { RunHandler(&TForm1::ActConversionExecute); });
    connect(ActExitProgram, &QAction::triggered, this, [this] { RunHandler(&TForm1::ActExitProgramExecute); });
    connect(aniShowWorking, &TBusyIndicator::cancelRequested, this, &TForm1::RequestCancel);
    for (QLineEdit* edit : {EdtOldDB, EdtNewDB}) {
        // Enter in a folder box starts the conversion; an edit clears the last result.
        connect(edit, &QLineEdit::returnPressed, ActConversion, &QAction::trigger);
        connect(edit, &QLineEdit::textChanged, this, [this] { model_.FolderEdited(); });
    }

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

void TForm1::ActConversionExecute()
{
    if (frmBrowser != nullptr)
        frmBrowser->CloseDatabase(); // its shared lock would refuse the conversion
    model_.Convert(Choices());
}

TWindowChoices TForm1::Choices() const
{
    return {CmbRefDBType->currentIndex(), EdtOldDB->text().toStdString(), EdtNewDB->text().toStdString()};
}

void TForm1::SetChoices(const TWindowChoices& choices)
{
    if (FormatAt(choices.FormatIndex) != nullptr)
        CmbRefDBType->setCurrentIndex(choices.FormatIndex);
    EdtOldDB->setText(Text(choices.OldFolder));
    EdtNewDB->setText(Text(choices.NewFolder));
}

void TForm1::SetStopRequested(std::function<bool()> stopRequested)
{
    model_.SetStopRequested(std::move(stopRequested));
}

void TForm1::RequestCancel()
{
    model_.RequestCancel();
}

void TForm1::ShowWarning(const std::string& text)
{
    dialogs_->ShowWarning(this, Text(text));
    FormActivate();
}

void TForm1::ShowConversionFailed()
{
    dialogs_->ShowOkCancel(this, formtext::kConversionFailed, formtext::kConversionTitle);
}

FormatChoice TForm1::AskFormatMismatch(const std::string& text, const std::string& chosen, const std::string& found)
{
    const FormatChoice choice =
        dialogs_->AskFormatMismatch(this, formtext::kConversionTitle, Text(text), Text(chosen), Text(found));
    FormActivate();
    return choice;
}

bool TForm1::AskAddAgain(const std::string& text)
{
    const bool addAgain = dialogs_->AskAddAgain(this, formtext::kConversionTitle, Text(text));
    FormActivate();
    return addAgain;
}

ResumeChoice TForm1::AskFinishTheRest(const std::string& text)
{
    const ResumeChoice choice = dialogs_->AskFinishTheRest(this, formtext::kConversionTitle, Text(text));
    FormActivate();
    return choice;
}

bool TForm1::AskStopAndClose()
{
    return dialogs_->AskStopAndClose(this);
}

bool TForm1::AskUndo(const std::string& text)
{
    const bool undo = dialogs_->AskUndo(this, formtext::kConversionTitle, Text(text));
    FormActivate();
    return undo;
}

bool TForm1::AskRecover(const std::string& text)
{
    const bool recover = dialogs_->AskRecover(this, formtext::kConversionTitle, Text(text));
    FormActivate();
    return recover;
}

void TForm1::ShowFormat(int index)
{
    CmbRefDBType->setCurrentIndex(index);
}

void TForm1::ShowResultLine(const std::string& text)
{
    lblStatus->setText(Text(text));
}

void TForm1::ShowDetails(const std::string& details)
{
    details_ = Text(details);
    btnDetails->setVisible(!details_.isEmpty());
}

void TForm1::ShowUndoOffer(bool offered)
{
    btnUndo->setVisible(offered);
}

void TForm1::btnUndoClick()
{
    if (frmBrowser != nullptr)
        frmBrowser->CloseDatabase(); // its shared lock would refuse the undo
    model_.Undo();
}

void TForm1::btnDetailsClick()
{
    dialogs_->ShowDetails(this, Caption(windowtext::kDetailsTitle), lblStatus->text(), details_);
    FormActivate();
}

void TForm1::ShowProgress(const TProgressDisplay& display)
{
    aniShowWorking->ShowProgress(display);
}

void TForm1::ProcessEvents()
{
    QCoreApplication::processEvents();
}

void TForm1::SetWaiting(bool waiting)
{
    if (waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::CloseWindow()
{
    close();
}

void TForm1::EnterBusy()
{
    for (QWidget* control : inputControls_)
        control->setEnabled(false);
    aniShowWorking->Start();
    escapeCancels_->setEnabled(true);
    SetWaiting(true);
}

void TForm1::LeaveBusy()
{
    for (QWidget* control : inputControls_)
        control->setEnabled(true);
    aniShowWorking->Stop();
    escapeCancels_->setEnabled(false);
    SetWaiting(false);
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
    const std::string typed = EdtNewDB->text().toStdString();
    const TConversionWindow::TLastRun& last = model_.LastRun();
    if (!model_.IsBusy())
        ShowDatabaseBrowser(this, frmBrowser, ExpandHomeFolder(typed), last.TypedNewFolder == typed ? last.Added : 0);
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
    // A running conversion is stopped first ("Stop and close?"); the window
    // closes once it has.
    if (!model_.MayClose(Choices())) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace norrvik
