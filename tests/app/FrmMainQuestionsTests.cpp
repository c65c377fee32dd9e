// The window's questions before a conversion (a folder that holds another
// format; a target that already holds patterns from the same folder), the
// remembered choices, where the folder picker opens, Escape while busy, and
// the result line after a failure.
#include "app/BusyIndicator.h"
#include "app/FrmMain.h"
#include "FakeDialogs.h"
#include "convert/Conversion.h"
#include "support/TempFolder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <string>

namespace norrvik {
namespace {

QString Sample(const char* format)
{
    return QString::fromUtf8(NORRVIK_SAMPLES_DIR) + "/" + format;
}

class WindowQuestions : public ::testing::Test {
protected:
    void SetUp() override { test::EnsureApplication(); }

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

    std::unique_ptr<TForm1> MakeForm(TConversionDrivers drivers, std::unique_ptr<QSettings> settings = nullptr)
    {
        return std::make_unique<TForm1>(std::move(drivers), std::make_unique<test::FakeDialogs>(log),
                                        std::move(settings));
    }

    test::DialogLog log;
    test::TempFolder temp;
    QStringList called;
};

TEST_F(WindowQuestions, FormatThatDoesNotMatchTheFolderIsAskedAbout)
{
    auto form = MakeForm(Recording());
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    struct Case {
        FormatChoice answer;
        QStringList called;
        int indexAfter;
    };
    for (const Case& c : {Case{FormatChoice::GoBack, {}, 2}, Case{FormatChoice::AsChosen, {"veltro"}, 2},
                          Case{FormatChoice::AsFound, {"kandor"}, 1}}) {
        called.clear();
        log.questions.clear();
        log.formatAnswer = c.answer;
        form->CmbRefDBType->setCurrentIndex(2);
        form->EdtOldDB->setText(Sample("kandor"));
        form->ActConversionExecute();
        ASSERT_EQ(log.questions.size(), 1);
        EXPECT_EQ(log.questions[0], "Folder " + Sample("kandor") +
                                        " holds a database in Kandor (PDDATABS.DAT) format, not in Veltro format."
                                        " [Kandor|Veltro]");
        EXPECT_EQ(called, c.called);
        EXPECT_EQ(form->CmbRefDBType->currentIndex(), c.indexAfter);
    }

    // The matching format, and a folder that holds none: no question.
    log.questions.clear();
    form->CmbRefDBType->setCurrentIndex(1);
    form->ActConversionExecute();
    form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form->ActConversionExecute();
    EXPECT_TRUE(log.questions.isEmpty());
    EXPECT_EQ(called.size(), 3);
}

TEST_F(WindowQuestions, ReimportIsAskedAboutWithTheCount)
{
    bool success = false;
    ConvertVeltroDatabase(Sample("veltro").toStdString(), temp.Text("db"), success);
    ASSERT_TRUE(success);

    auto form = MakeForm(Recording());
    form->CmbRefDBType->setCurrentIndex(2);
    form->EdtOldDB->setText(Sample("veltro"));
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    for (bool addAgain : {false, true}) {
        log.addAgainAnswer = addAgain;
        form->ActConversionExecute();
    }
    ASSERT_EQ(log.questions.size(), 2);
    EXPECT_EQ(log.questions[0], "The Tessaly database in " + QString::fromStdString(temp.Text("db")) +
                                    " already holds 5 patterns imported from " + Sample("veltro") + ".");
    EXPECT_EQ(called, QStringList{"veltro"});

    // The same folder typed with a trailing delimiter counts too.
    log.addAgainAnswer = false;
    form->EdtOldDB->setText(Sample("veltro") + "/");
    form->ActConversionExecute();
    ASSERT_EQ(log.questions.size(), 3);
    EXPECT_NE(log.questions[2].indexOf("already holds 5 patterns"), -1) << log.questions[2].toStdString();
}

TEST_F(WindowQuestions, ChoicesAreRememberedAndThePickerOpensAtTheTypedFolder)
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
    EXPECT_EQ(log.pickerStarts, QStringList({Sample("kandor"), QString::fromStdString(temp.Text()), QString()}));
}

TEST_F(WindowQuestions, EscapeCancelsAndTheResultLineSaysWhatTheTargetHolds)
{
    std::unique_ptr<TForm1> form;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      ConversionSummary* summary) {
        summary->targetPatternCount = 12;
        for (long entry = 1; entry <= 5; ++entry) {
            ++summary->added;
            ++summary->targetPatternCount;
            if (entry == 2)
                QTest::keyClick(form.get(), Qt::Key_Escape);
            progress(Progress{Progress::Stage::Converting, entry, 5});
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
                      ConversionSummary* summary) {
        summary->added = 1;
        summary->targetPatternCount = 1;
        summary->entriesWithoutLines = 1;
        throw Exception("Disk full");
    };
    form = MakeForm({failing, failing, failing});
    form->EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form->EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    form->ActConversion->trigger();
    EXPECT_EQ(log.errors, QStringList{"Disk full"});
    EXPECT_EQ(form->lblStatus->text(), "Conversion failed; 1 pattern added; the target database now holds 1 pattern. "
                                       "1 entry had no pattern file and was converted without lines.");
}

} // namespace
} // namespace norrvik
