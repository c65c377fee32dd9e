// SIGTERM while the window converts: the run is cancelled after the entry it
// is on, as by the Cancel button, and the window closes once it is idle.
#include "app/FrmMain.h"
#include "app/StopSignalWatcher.h"
#include "FakeDialogs.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace norrvik {
namespace {

TEST(WindowStopSignal, CancelsTheRunAndClosesTheWindow)
{
    test::EnsureApplication();
    test::TempFolder temp;
    test::DialogLog log;
    long converted = 0;
    auto driver = [&](const std::string&, const std::string&, bool& success, const ProgressCallback& progress,
                      TConversionSummary*) {
        for (long entry = 1; entry <= 5; ++entry) {
            if (entry == 3)
                std::raise(SIGTERM);
            progress(TProgress{TProgress::Stage::Converting, entry, 5});
            converted = entry;
        }
        success = true;
    };
    TForm1 form({driver, {}, {}}, std::make_unique<test::FakeDialogs>(log));
    form.EdtOldDB->setText(QString::fromStdString(temp.Text()));
    form.EdtNewDB->setText(QString::fromStdString(temp.Text("target")));
    TStopSignalWatcher watcher(form);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    form.ActConversionExecute();
    EXPECT_EQ(converted, 2);
    EXPECT_TRUE(form.lblStatus->text().startsWith("Conversion cancelled after 3 of 5 entries"))
        << form.lblStatus->text().toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 2000));
    EXPECT_TRUE(log.Errors.isEmpty());
}

} // namespace
} // namespace norrvik
