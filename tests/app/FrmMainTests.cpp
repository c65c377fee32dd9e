// The main window: its controls, the checks before a conversion, the
// questions asked before one, the busy state while a driver runs, the idle
// state and the result line after every ending, Cancel (and Escape), dispatch
// by format, the folder pickers, where the focus goes, remembered choices.
#include "app/BusyIndicator.h"
#include "app/FHelp.h"
#include "app/FrmMain.h"
#include "FakeDialogs.h"
#include "support/TempFolder.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace norrvik {
namespace {

const QStringList kInputControlsInBusyOrder{"BtnStart",     "BtnExit",      "btnHelp",  "btnBrowseOld",
                                            "btnBrowseNew", "CmbRefDBType", "EdtOldDB", "EdtNewDB"};

// Records the order in which widgets change their enabled state.
class EnabledChangeRecorder : public QObject {
public:
    QStringList changes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            changes << watched->objectName();
        return false;
    }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication(); }

    std::unique_ptr<TForm1> MakeForm(TConversionDrivers drivers = {}, std::unique_ptr<QSettings> settings = nullptr)
    {
        return std::make_unique<TForm1>(std::move(drivers), std::make_unique<test::FakeDialogs>(log),
                                        std::move(settings));
    }

    // Drivers that only record which format was called.
    TConversionDrivers Recording()
    {
        auto named = [this](const char* name) {
            return [this, name](const std::string&, const std::string&, bool& success, auto&&...) {
                called << name;
                success = true;
            };
        };
        return {named("quorvane"), named("kandor"), named("veltro")};
    }

    // A form with both folders filled in so that the checks pass.
    std::unique_ptr<TForm1> MakeReadyForm(TConversionDrivers drivers)
    {
        auto form = MakeForm(std::move(drivers));
        form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
        form->EdtNewDB->setText(QString::fromStdString(temp.Text("target")));
        return form;
    }

    static void ShowActive(TForm1& form)
    {
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    }

    static void ExpectIdle(TForm1& form)
    {
        for (const QString& name : kInputControlsInBusyOrder) {
            auto* control = form.findChild<QWidget*>(name);
            ASSERT_NE(control, nullptr) << name.toStdString();
            EXPECT_TRUE(control->isEnabled()) << name.toStdString();
        }
        EXPECT_FALSE(form.aniShowWorking->isVisible());
        EXPECT_FALSE(form.aniShowWorking->isVisibleTo(&form));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(form.IsBusy());
    }

    static void ExpectBusy(TForm1& form)
    {
        for (const QString& name : kInputControlsInBusyOrder)
            EXPECT_FALSE(form.findChild<QWidget*>(name)->isEnabled()) << name.toStdString();
        EXPECT_TRUE(form.aniShowWorking->isVisibleTo(&form));
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        EXPECT_TRUE(form.IsBusy());
    }

    test::DialogLog log;
    test::TempFolder temp;
    QStringList called;
};

QString Sample(const char* format)
{
    return QString::fromUtf8(NORRVIK_SAMPLES_DIR) + "/" + format;
}

TEST_F(MainWindow, FrameAndControlsAsDescribed)
{
    auto form = MakeForm();
    EXPECT_EQ(form->windowTitle(), "Convert Reference Database to Orvel Tessaly  Format");
    EXPECT_EQ(form->size(), QSize(672, 143));
    EXPECT_EQ(form->minimumSize(), QSize(672, 143));
    EXPECT_EQ(form->maximumSize(), QSize(672, 143));
    const Qt::WindowFlags flags = form->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    const QPoint screenCentre = form->screen()->availableGeometry().center();
    EXPECT_LE((form->geometry().center() - screenCentre).manhattanLength(), 2);

    struct Expected {
        const char* Name;
        const char* Kind;
        QString Caption;
        QRect Geometry;
    };
    const std::vector<Expected> controls{
        {"CmbRefDBType", "QComboBox", "", QRect(232, 8, 353, 21)},
        {"EdtOldDB", "QLineEdit", "", QRect(232, 32, 353, 21)},
        {"btnBrowseOld", "QPushButton", "&Browse...", QRect(589, 32, 75, 23)},
        {"EdtNewDB", "QLineEdit", "", QRect(232, 56, 353, 21)},
        {"btnBrowseNew", "QPushButton", "B&rowse...", QRect(589, 56, 75, 23)},
        {"btnHelp", "QPushButton", "&Help...", QRect(8, 112, 75, 23)},
        {"BtnStart", "QPushButton", "&Start Conversion", QRect(568, 88, 99, 23)},
        {"BtnExit", "QPushButton", "E&xit", QRect(568, 112, 99, 23)},
        {"aniShowWorking", "norrvik::TBusyIndicator", "", QRect(232, 80, 272, 60)},
    };
    for (const Expected& expected : controls) {
        SCOPED_TRACE(expected.Name);
        auto* control = form->findChild<QWidget*>(expected.Name);
        ASSERT_NE(control, nullptr);
        EXPECT_STREQ(control->metaObject()->className(), expected.Kind);
        EXPECT_EQ(control->geometry(), expected.Geometry);
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            EXPECT_EQ(button->text(), expected.Caption);
        }
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            EXPECT_TRUE(edit->text().isEmpty());
        }
    }

    // Labels: at their place, as wide as their text, clear of the boxes, and
    // their accelerator leads to their control.
    struct ExpectedLabel {
        const char* Name;
        QString Caption;
        QPoint Position;
        QWidget* Buddy;
    };
    for (const ExpectedLabel& expected :
         {ExpectedLabel{"Label3", "&Format of the old reference database:", {8, 11}, form->CmbRefDBType},
          ExpectedLabel{"Label1", "Folder with the &old reference database:", {8, 35}, form->EdtOldDB},
          ExpectedLabel{"Label2", "Folder with the &Tessaly reference database:", {8, 59}, form->EdtNewDB}}) {
        SCOPED_TRACE(expected.Name);
        auto* label = form->findChild<QLabel*>(expected.Name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), expected.Caption);
        EXPECT_EQ(label->pos(), expected.Position);
        EXPECT_EQ(label->buddy(), expected.Buddy);
        EXPECT_GE(label->width(), label->sizeHint().width());
        EXPECT_LT(label->geometry().right(), 232);
    }

    ASSERT_EQ(form->CmbRefDBType->count(), 4);
    EXPECT_FALSE(form->CmbRefDBType->isEditable());
    EXPECT_EQ(form->CmbRefDBType->itemText(0), "Quorvane (Orvel Selvane) format");
    EXPECT_EQ(form->CmbRefDBType->itemText(1), "Kandor format");
    EXPECT_EQ(form->CmbRefDBType->itemText(2), "Veltro (VAX VMS) format");
    EXPECT_EQ(form->CmbRefDBType->itemText(3), "Tessaly database (carry over user patterns)");
    EXPECT_EQ(form->CmbRefDBType->currentIndex(), 0);

    auto* list = form->findChild<QObject*>("ActionList1");
    ASSERT_NE(list, nullptr);
    auto* conversion = list->findChild<QAction*>("ActConversion");
    auto* exitProgram = list->findChild<QAction*>("ActExitProgram");
    ASSERT_NE(conversion, nullptr);
    ASSERT_NE(exitProgram, nullptr);
    EXPECT_EQ(conversion->text(), "&Start Conversion");
    EXPECT_EQ(exitProgram->text(), "E&xit");

    EXPECT_FALSE(form->aniShowWorking->isVisibleTo(form.get()));
    EXPECT_TRUE(form->lblStatus->text().isEmpty());
}

TEST_F(MainWindow, TabOrderAndAccelerators)
{
    auto form = MakeForm();
    ShowActive(*form);
    const QStringList order{"CmbRefDBType", "EdtOldDB", "btnBrowseOld", "EdtNewDB",
                            "btnBrowseNew", "btnHelp",  "BtnStart",     "BtnExit"};
    form->CmbRefDBType->setFocus();
    for (qsizetype i = 0; i < order.size(); ++i) {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        EXPECT_EQ(QApplication::focusWidget()->objectName(), order[i]) << "tab stop " << i;
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "CmbRefDBType"); // round again

    // A label's accelerator puts the focus into its control.
    const std::pair<Qt::Key, QWidget*> accelerators[] = {
        {Qt::Key_O, form->EdtOldDB}, {Qt::Key_T, form->EdtNewDB}, {Qt::Key_F, form->CmbRefDBType}};
    for (const auto& [key, control] : accelerators) {
        QTest::keyClick(form.get(), key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), control) << control->objectName().toStdString();
    }
}

TEST_F(MainWindow, OldFolderMustBeAnExistingFolder)
{
    int calls = 0;
    auto form = MakeForm({[&](auto&&...) { ++calls; }, {}, {}});
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("target")));
    const QString missing = QString::fromStdString(temp.Text("no such folder")) + "  ";
    const QString leadingBlank = " " + QString::fromStdString(temp.Text());
    // Blanks only fail even though a lone delimiter names the root folder;
    // the message shows the text exactly as typed.
    for (const QString& typed : {QString(), QString("   "), missing, leadingBlank}) {
        log.Warnings.clear();
        form->EdtOldDB->setText(typed);
        form->ActConversionExecute();
        ASSERT_EQ(log.Warnings.size(), 1) << typed.toStdString();
        EXPECT_EQ(log.Warnings[0], "Folder with the old reference database (" + typed + ") doesn't exist.");
        ExpectIdle(*form);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(log.OkCancelTexts.isEmpty());

    // A file is not a folder.
    test::WriteFile(temp.Path() / "plain.txt", std::string("x"));
    form->EdtOldDB->setText(QString::fromStdString(temp.Text("plain.txt")));
    log.Warnings.clear();
    form->ActConversionExecute();
    EXPECT_EQ(log.Warnings.size(), 1);

    // The root passes the first check (and here fails the second one).
    form->EdtOldDB->setText(QStringLiteral("/"));
    form->EdtNewDB->setText(QStringLiteral("  "));
    log.Warnings.clear();
    form->ActConversionExecute();
    ASSERT_EQ(log.Warnings.size(), 1);
    EXPECT_EQ(log.Warnings[0], "Empty string for: Folder with the Tessaly reference database.");
    EXPECT_EQ(calls, 0);
}

TEST_F(MainWindow, TargetTextOnlyNeedsToBeNonBlank)
{
    std::vector<std::pair<std::string, std::string>> calls;
    auto driver = [&](const std::string& oldFolder, const std::string& newFolder, bool& success, auto&&...) {
        calls.emplace_back(oldFolder, newFolder);
        success = true;
    };
    auto form = MakeForm({driver, {}, {}});
    const std::filesystem::path oldFolder = temp.Path() / std::filesystem::u8path("Pr\xC3\xB8ver \xC3\xBC");
    std::filesystem::create_directories(oldFolder);
    const std::string oldText = oldFolder.string() + "/";

    for (const QString& blank : {QString(), QString(" "), QString("\t  ")}) {
        log.Warnings.clear();
        form->EdtOldDB->setText(QString::fromStdString(oldText));
        form->EdtNewDB->setText(blank);
        form->ActConversionExecute();
        ASSERT_EQ(log.Warnings.size(), 1);
        EXPECT_EQ(log.Warnings[0], "Empty string for: Folder with the Tessaly reference database.");
    }
    EXPECT_TRUE(calls.empty());

    // A target that does not exist passes; both texts go out exactly as
    // typed (UTF-8, blanks and trailing delimiter kept).
    const std::string newText = " " + temp.Text("new \xC3\xA9 target") + " ";
    form->EdtNewDB->setText(QString::fromStdString(newText));
    log.Warnings.clear();
    form->ActConversionExecute();
    EXPECT_TRUE(log.Warnings.isEmpty());
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].first, oldText);
    EXPECT_EQ(calls[0].second, newText);
}

TEST_F(MainWindow, DispatchByFormatIndex)
{
    QStringList called;
    auto driverNamed = [&](const QString& name) {
        return [&called, name](const std::string&, const std::string&, bool& success, auto&&...) {
            called << name;
            success = true;
        };
    };
    auto form = MakeReadyForm({driverNamed("quorvane"), driverNamed("kandor"), driverNamed("veltro")});
    for (int index : {0, 1, 2}) {
        form->CmbRefDBType->setCurrentIndex(index);
        form->ActConversionExecute();
    }
    EXPECT_EQ(called, QStringList({"quorvane", "kandor", "veltro"}));
    EXPECT_TRUE(log.OkCancelTexts.isEmpty());

    // No format chosen: nothing is called and the conversion counts as failed.
    form->CmbRefDBType->setCurrentIndex(-1);
    form->ActConversionExecute();
    EXPECT_EQ(called.size(), 3);
    ASSERT_EQ(log.OkCancelTexts.size(), 1);
    EXPECT_EQ(log.OkCancelTexts[0], "Conversion failed");
    EXPECT_EQ(log.OkCancelTitles[0], "Reference Database Conversion");
    ExpectIdle(*form);
}

TEST_F(MainWindow, BusyWhileTheDriverRunsIdleAfterSuccess)
{
    EnabledChangeRecorder recorder;
    bool looked = false;
    std::unique_ptr<TForm1> form;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary* summary) {
        ExpectBusy(*form);
        EXPECT_EQ(recorder.changes, kInputControlsInBusyOrder);
        // Nothing known yet: the bar moves without an end.
        EXPECT_EQ(form->aniShowWorking->barProgress->maximum(), 0);
        EXPECT_TRUE(form->aniShowWorking->btnCancel->isEnabled());

        progress(TProgress{TProgress::Stage::Converting, 12, 380});
        EXPECT_EQ(form->aniShowWorking->lblProgress->text(), "Converting entry 12 of 380");
        EXPECT_EQ(form->aniShowWorking->barProgress->maximum(), 380);
        EXPECT_EQ(form->aniShowWorking->barProgress->value(), 12);
        progress(TProgress{TProgress::Stage::WritingIndexes, 200, 380});
        EXPECT_EQ(form->aniShowWorking->lblProgress->text(), "Writing indexes: 200 of 380");
        EXPECT_EQ(form->aniShowWorking->barProgress->value(), 200);
        ExpectBusy(*form);
        looked = true;
        summary->Added = 3;
        summary->Skipped = 1;
        summary->TargetPatternCount = 17;
        success = true;
    };
    form = MakeReadyForm({driver, {}, {}});
    ShowActive(*form);
    for (const QString& name : kInputControlsInBusyOrder)
        form->findChild<QWidget*>(name)->installEventFilter(&recorder);
    form->CmbRefDBType->setFocus();

    form->ActConversion->trigger();
    EXPECT_TRUE(looked);
    ExpectIdle(*form);
    EXPECT_EQ(recorder.changes.mid(8), kInputControlsInBusyOrder); // enabled again in the same order
    EXPECT_EQ(form->lblStatus->text(),
              "3 patterns added, 1 skipped as already present; the target database now holds 17 patterns");
    EXPECT_TRUE(log.OkCancelTexts.isEmpty());
    EXPECT_TRUE(log.Errors.isEmpty());
    EXPECT_EQ(QApplication::focusWidget(), form->EdtOldDB);

    // The next command clears the result line.
    form->EdtNewDB->clear();
    form->ActConversionExecute();
    EXPECT_TRUE(form->lblStatus->text().isEmpty());
}

TEST_F(MainWindow, IdleAfterFalseResultAndAfterException)
{
    std::unique_ptr<TForm1> form;
    bool busyWhileBoxOpen = false;
    log.WhileOkCancelOpen = [&] { busyWhileBoxOpen = form->IsBusy(); };
    bool throwError = false;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary*) {
        progress(TProgress{TProgress::Stage::Converting, 1, 2});
        if (throwError)
            throw Exception("Folder /x/ doesn't contain an index file for the journals.");
        success = false;
    };
    form = MakeReadyForm({driver, {}, {}});

    // A false result: the box, shown while still busy, then idle.
    form->ActConversion->trigger();
    ASSERT_EQ(log.OkCancelTexts.size(), 1);
    EXPECT_EQ(log.OkCancelTexts[0], "Conversion failed");
    EXPECT_EQ(log.OkCancelTitles[0], "Reference Database Conversion");
    EXPECT_TRUE(busyWhileBoxOpen);
    EXPECT_TRUE(log.Errors.isEmpty());
    EXPECT_EQ(form->lblStatus->text(), "Conversion failed; no patterns were added");
    ExpectIdle(*form);

    // An exception leaves the command after the idle state is back...
    throwError = true;
    log.OkCancelTexts.clear();
    EXPECT_THROW(form->ActConversionExecute(), Exception);
    ExpectIdle(*form);
    // ...and through the action it reaches the top-level handler's box,
    // without the "Conversion failed" box.
    form->ActConversion->trigger();
    ExpectIdle(*form);
    ASSERT_EQ(log.Errors.size(), 1);
    EXPECT_EQ(log.Errors[0], "Folder /x/ doesn't contain an index file for the journals.");
    EXPECT_TRUE(log.OkCancelTexts.isEmpty());

    // Clicking the bound button runs the same command.
    form->BtnStart->click();
    EXPECT_EQ(log.Errors.size(), 2);
    ExpectIdle(*form);
}

TEST_F(MainWindow, CancelStopsAfterTheCurrentEntry)
{
    std::unique_ptr<TForm1> form;
    long entriesDone = 0;
    bool unwound = false;
    bool closeRefused = false;
    struct Unwinding {
        bool& Flag;
        ~Unwinding() { Flag = true; }
    };
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary*) {
        Unwinding unwinding{unwound};
        for (long entry = 1; entry <= 5; ++entry) {
            if (entry == 2) {
                // The user presses Cancel while entry 2 is converted; the
                // click waits in the event queue until the next report.
                QMetaObject::invokeMethod(form->aniShowWorking->btnCancel, "click", Qt::QueuedConnection);
                closeRefused = !form->close();
            }
            progress(TProgress{TProgress::Stage::Converting, entry, 5});
            entriesDone = entry;
        }
        success = true;
    };
    form = MakeReadyForm({driver, {}, {}});
    ShowActive(*form);
    form->ActConversion->trigger();

    EXPECT_EQ(entriesDone, 1);
    EXPECT_TRUE(unwound);
    EXPECT_TRUE(closeRefused);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->lblStatus->text(), "Conversion cancelled after 2 of 5 entries; no patterns were added");
    EXPECT_TRUE(log.Errors.isEmpty());
    EXPECT_TRUE(log.OkCancelTexts.isEmpty());
    ExpectIdle(*form);

    // The index rebuild at the end is never stopped; a request made then is
    // dropped, and the next conversion starts afresh.
    int rebuildReports = 0;
    auto finishing = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                         TConversionSummary*) {
        progress(TProgress{TProgress::Stage::Converting, 1, 1});
        form->RequestCancel();
        for (long pattern = 1; pattern <= 3; ++pattern, ++rebuildReports)
            progress(TProgress{TProgress::Stage::WritingIndexes, pattern, 3});
        success = true;
    };
    form = MakeReadyForm({finishing, {}, {}});
    form->ActConversionExecute();
    EXPECT_EQ(rebuildReports, 3);
    EXPECT_EQ(form->lblStatus->text(), "0 patterns added, 0 skipped as already present; the target database now "
                                       "holds 0 patterns. The old folder held nothing to convert.");
    form->ActConversionExecute();
    EXPECT_EQ(rebuildReports, 6);
}

TEST_F(MainWindow, FolderPickers)
{
    auto form = MakeForm();
    form->EdtOldDB->setText("keep me");
    log.PickerAnswer.reset();
    form->btnBrowseOld->click();
    EXPECT_EQ(form->EdtOldDB->text(), "keep me");

    const std::pair<QString, QString> answers[] = {
        {"/data/old db/", "/data/old db"}, {"/data//x/./y", "/data/x/y"}, {"/", "/"}};
    for (const auto& [answer, shown] : answers) {
        log.PickerAnswer = answer;
        form->btnBrowseOld->click();
        EXPECT_EQ(form->EdtOldDB->text(), shown);
    }
    log.PickerAnswer = QStringLiteral("/data/new");
    form->btnBrowseNew->click();
    EXPECT_EQ(form->EdtNewDB->text(), "/data/new");
    EXPECT_EQ(form->EdtOldDB->text(), "/");

    // Titled with the label's caption as it stands.
    ASSERT_EQ(log.PickerTitles.size(), 5);
    EXPECT_EQ(log.PickerTitles[0], "Folder with the &old reference database:");
    EXPECT_EQ(log.PickerTitles[4], "Folder with the &Tessaly reference database:");
}

TEST_F(MainWindow, FocusReturnsToOldFolderAfterDialogs)
{
    auto form = MakeForm();
    ShowActive(*form);
    TfrmHelp* help = form->frmHelp;
    ASSERT_NE(help, nullptr);

    // The help dialog (the same one each time), closed by its button.
    for (int round = 0; round < 2; ++round) {
        form->btnHelp->setFocus();
        QTimer::singleShot(0, help, [help] {
            EXPECT_TRUE(help->isVisible());
            EXPECT_TRUE(help->isModal());
            help->OKBtn->click();
        });
        form->btnHelp->click();
        EXPECT_FALSE(help->isVisible());
        EXPECT_EQ(form->focusWidget(), form->EdtOldDB);
    }
    EXPECT_EQ(form->findChildren<TfrmHelp*>().size(), 1);

    // A warning box.
    form->CmbRefDBType->setFocus();
    form->ActConversionExecute();
    ASSERT_EQ(log.Warnings.size(), 1);
    EXPECT_EQ(form->focusWidget(), form->EdtOldDB);

    // The window becoming active again (back from another application)
    // leaves the focus where the user had it.
    form->BtnExit->setFocus();
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(form.get(), &activate);
    EXPECT_EQ(form->focusWidget(), form->BtnExit);
}

TEST_F(MainWindow, ExitClosesTheWindow)
{
    auto form = MakeForm();
    ShowActive(*form);
    form->BtnExit->click();
    EXPECT_FALSE(form->isVisible());
}

TEST_F(MainWindow, FormatThatDoesNotMatchTheFolderIsAskedAbout)
{
    auto form = MakeForm(Recording());
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    struct Case {
        FormatChoice Answer;
        QStringList Called;
        int IndexAfter;
    };
    for (const Case& c : {Case{FormatChoice::GoBack, {}, 2}, Case{FormatChoice::AsChosen, {"veltro"}, 2},
                          Case{FormatChoice::AsFound, {"kandor"}, 1}}) {
        called.clear();
        log.Questions.clear();
        log.FormatAnswer = c.Answer;
        form->CmbRefDBType->setCurrentIndex(2);
        form->EdtOldDB->setText(Sample("kandor"));
        form->ActConversionExecute();
        ASSERT_EQ(log.Questions.size(), 1);
        EXPECT_EQ(log.Questions[0], "Folder " + Sample("kandor") +
                                        " holds a database in Kandor (PDDATABS.DAT) format, not in Veltro format."
                                        " [Kandor|Veltro]");
        EXPECT_EQ(called, c.Called);
        EXPECT_EQ(form->CmbRefDBType->currentIndex(), c.IndexAfter);
    }

    // The matching format, and a folder that holds none: no question.
    log.Questions.clear();
    form->CmbRefDBType->setCurrentIndex(1);
    form->ActConversionExecute();
    form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form->ActConversionExecute();
    EXPECT_TRUE(log.Questions.isEmpty());
    EXPECT_EQ(called.size(), 3);
}

TEST_F(MainWindow, ReimportIsAskedAboutWithTheCount)
{
    bool success = false;
    ConvertVeltroDatabase(Sample("veltro").toStdString(), temp.Text("db"), success);
    ASSERT_TRUE(success);

    auto form = MakeForm(Recording());
    form->CmbRefDBType->setCurrentIndex(2);
    form->EdtOldDB->setText(Sample("veltro"));
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    for (bool addAgain : {false, true}) {
        log.AddAgainAnswer = addAgain;
        form->ActConversionExecute();
    }
    ASSERT_EQ(log.Questions.size(), 2);
    EXPECT_TRUE(log.Questions[0].startsWith("The Tessaly database in " + QString::fromStdString(temp.Text("db")) +
                                            " already holds 5 patterns imported from " + Sample("veltro") +
                                            ". The last import from there was run 1 on "))
        << log.Questions[0].toStdString();
    EXPECT_EQ(called, QStringList{"veltro"});

    // The same folder typed with a trailing delimiter counts too.
    log.AddAgainAnswer = false;
    form->EdtOldDB->setText(Sample("veltro") + "/");
    form->ActConversionExecute();
    ASSERT_EQ(log.Questions.size(), 3);
    EXPECT_NE(log.Questions[2].indexOf("already holds 5 patterns"), -1) << log.Questions[2].toStdString();
}

TEST_F(MainWindow, DetailsOfARunAreOfferedBesideTheResultLine)
{
    auto driver = [](const std::string&, const std::string&, bool& success, const ProgressCallback&,
                     TConversionSummary* summary) {
        summary->EntriesWithoutLines = 1;
        summary->EntriesWithoutPatternFile = {"RUTILE.di"};
        summary->CreatedDatabase = true;
        success = true;
    };
    auto form = MakeReadyForm({driver, driver, driver});
    EXPECT_FALSE(form->btnDetails->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btnUndo->isVisibleTo(form.get()));
    form->ActConversionExecute();
    ASSERT_TRUE(form->btnDetails->isVisibleTo(form.get()));
    EXPECT_TRUE(form->btnUndo->isVisibleTo(form.get())); // the run created the database
    form->btnDetails->click();
    EXPECT_EQ(log.Details, QStringList{form->lblStatus->text() +
                                       "|1 entry had no pattern file and was converted without lines:\nRUTILE.di"});
    form->EdtOldDB->setText(QStringLiteral("elsewhere"));
    EXPECT_FALSE(form->btnDetails->isVisibleTo(form.get()));
    EXPECT_FALSE(form->btnUndo->isVisibleTo(form.get()));
}

TEST_F(MainWindow, ChoicesAreRememberedAndThePickerOpensAtTheTypedFolder)
{
    const QString file = QString::fromStdString(temp.Text("settings.ini"));
    auto settings = [&] { return std::make_unique<QSettings>(file, QSettings::IniFormat); };
    {
        auto form = MakeForm(Recording(), settings());
        EXPECT_EQ(form->CmbRefDBType->currentIndex(), 0);
        form->CmbRefDBType->setCurrentIndex(1);
        form->EdtOldDB->setText(Sample("kandor"));
        form->EdtNewDB->setText(QString::fromStdString(temp.Text("new/deeper")));
        form->show();
        form->close();
    }
    auto form = MakeForm(Recording(), settings());
    EXPECT_EQ(form->CmbRefDBType->currentIndex(), 1);
    EXPECT_EQ(form->EdtOldDB->text(), Sample("kandor"));
    EXPECT_EQ(form->EdtNewDB->text(), QString::fromStdString(temp.Text("new/deeper")));

    // The picker opens at the typed folder, or the nearest one that exists.
    form->btnBrowseOld->click();
    form->btnBrowseNew->click();
    form->EdtOldDB->clear();
    form->btnBrowseOld->click();
    EXPECT_EQ(log.PickerStarts, QStringList({Sample("kandor"), QString::fromStdString(temp.Text()), QString()}));
}

TEST_F(MainWindow, EscapeCancelsAndTheResultLineSaysWhatTheTargetHolds)
{
    std::unique_ptr<TForm1> form;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary* summary) {
        summary->TargetPatternCount = 12;
        for (long entry = 1; entry <= 5; ++entry) {
            ++summary->Added;
            ++summary->TargetPatternCount;
            if (entry == 2)
                QTest::keyClick(form.get(), Qt::Key_Escape);
            progress(TProgress{TProgress::Stage::Converting, entry, 5});
        }
        success = true;
    };
    form = MakeForm({driver, driver, driver});
    form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->ActConversion->trigger();
    EXPECT_EQ(form->lblStatus->text(),
              "Conversion cancelled after 2 of 5 entries; 2 patterns added; the target database now holds 14 patterns");
    EXPECT_FALSE(form->IsBusy());

    // Escape while idle does nothing.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());

    // An error after one pattern: the box shows the message, the line the count.
    auto failing = [](const std::string&, const std::string&, bool&, const ProgressCallback&,
                      TConversionSummary* summary) {
        summary->Added = 1;
        summary->TargetPatternCount = 1;
        summary->EntriesWithoutLines = 1;
        throw Exception("Disk full");
    };
    form = MakeForm({failing, failing, failing});
    form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    form->ActConversion->trigger();
    EXPECT_EQ(log.Errors, QStringList{"Disk full"});
    EXPECT_EQ(form->lblStatus->text(), "Conversion failed; 1 pattern added; the target database now holds 1 pattern. "
                                       "1 entry had no pattern file and was converted without lines.");
}

} // namespace
} // namespace norrvik
