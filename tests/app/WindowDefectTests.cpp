// What a user met in the window: the program answering --help and unknown
// options without a display, and the rough edges of the window (its icon,
// Enter, the result line cleared by an edit and grouped by thousands, the
// question buttons' mnemonics, "Stop and close?").
#include "app/FormDialogs.h"
#include "app/FrmMain.h"
#include "FakeDialogs.h"
#include "support/TempFolder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/wait.h>

namespace norrvik {
namespace {

TEST(WindowStartup, AnswersBeforeQtStartsAndRefusesUnknownOptions)
{
    struct Case {
        const char* Arguments;
        int Status;
        const char* Output;
    };
    for (const Case& c : {Case{"--help", 0, "Usage: norrvik [OPTION]..."}, Case{"--version", 0, "norrvik "},
                          Case{"--bogus", 2, "norrvik: unknown option '--bogus'."},
                          Case{"-f nosuch", 2, "norrvik: unknown format 'nosuch'"}}) {
        const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ") +
                                    NORRVIK_WINDOW_PROGRAM + " " + c.Arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string output(4096, '\0');
        output.resize(std::fread(output.data(), 1, output.size(), pipe));
        const int status = pclose(pipe);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, c.Status) << c.Arguments;
        EXPECT_EQ(output.rfind(c.Output, 0), 0u) << c.Arguments << ": " << output;
    }
}

TEST(WindowRoughEdges, AsAUserExpects)
{
    test::EnsureApplication();
    test::TempFolder temp;
    test::DialogLog log;
    int runs = 0;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary* summary) {
        ++runs;
        summary->Added = summary->TargetPatternCount = 12345;
        progress({TProgress::Stage::Converting, 1, 2});
        success = true;
    };
    TForm1 form({driver, driver, driver}, std::make_unique<test::FakeDialogs>(log));
    form.EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form.EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    EXPECT_FALSE(form.windowIcon().isNull());

    QTest::keyClick(form.EdtNewDB, Qt::Key_Return);
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(form.lblStatus->text(), "12,345 patterns added, 0 skipped as already present; the target database "
                                      "now holds 12,345 patterns");
    form.EdtOldDB->setText(form.EdtOldDB->text() + "/");
    EXPECT_TRUE(form.lblStatus->text().isEmpty());

    // Every button of the questions has a mnemonic of its own.
    TQtFormDialogs dialogs;
    QStringList captions;
    auto answer = [&] {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            for (QAbstractButton* button : box->buttons())
                captions << button->text();
            box->reject();
        });
    };
    answer();
    dialogs.AskFormatMismatch(nullptr, "t", "x", "Veltro", "Kandor");
    answer();
    dialogs.AskAddAgain(nullptr, "t", "x");
    answer();
    dialogs.AskFinishTheRest(nullptr, "t", "x");
    answer();
    dialogs.AskStopAndClose(nullptr);
    EXPECT_EQ(captions, QStringList({"Convert as &Kandor", "Convert as &Veltro", "&Go back", "&Add again", "&Go back",
                                     "&Finish the rest", "&Add again", "&Go back", "&Stop and close",
                                     "&Keep converting"}));
}

} // namespace
} // namespace norrvik
