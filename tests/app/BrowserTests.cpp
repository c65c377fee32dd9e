// The pattern browser opened from the main window: its button beside the
// described controls, the patterns a conversion just added, a search, the
// plot of the selected pattern, and a database left as it was.
#include "app/FrmBrowser.h"
#include "app/FrmMain.h"
#include "app/StickPlotView.h"
#include "FakeDialogs.h"
#include "support/TempFolder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace norrvik {
namespace {

std::map<std::string, std::vector<std::uint8_t>> FolderBytes(const std::filesystem::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] = test::ReadFile(entry.path());
    return files;
}

void Convert(TForm1& form, int format, const char* sample)
{
    form.CmbRefDBType->setCurrentIndex(format);
    form.EdtOldDB->setText(QString::fromUtf8(NORRVIK_SAMPLES_DIR) + "/" + sample);
    form.ActConversion->trigger();
}

TEST(PatternBrowser, OpensFromTheMainWindowOnThePatternsJustAdded)
{
    test::EnsureApplication();
    test::DialogLog log;
    test::TempFolder temp;
    TForm1 form(RealConversionDrivers(), std::make_unique<test::FakeDialogs>(log));
    // Beside every control of the window, the result line and the busy indicator included.
    for (QWidget* control : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control == form.btnShowDatabase)
            continue;
        EXPECT_FALSE(form.btnShowDatabase->geometry().intersects(control->geometry()))
            << control->objectName().toStdString();
    }

    form.EdtNewDB->setText(QString::fromStdString(temp.Text("db")));
    Convert(form, 0, "quorvane"); // 5 patterns
    form.btnShowDatabase->click();
    ASSERT_NE(form.frmBrowser, nullptr);
    TFrmBrowser& browser = *form.frmBrowser;
    EXPECT_EQ(browser.tblPatterns->model()->rowCount(), 5);

    Convert(form, 2, "veltro"); // the browser lets the database go first
    EXPECT_FALSE(browser.DatabaseOpen());
    EXPECT_TRUE(log.Errors.isEmpty()) << log.Errors.join("\n").toStdString();
    const auto before = FolderBytes(temp.Path() / "db");
    form.btnShowDatabase->click();
    QAbstractItemModel& model = *browser.tblPatterns->model();
    ASSERT_EQ(model.rowCount(), 5); // the Veltro sample's, records 6 to 10
    EXPECT_EQ(model.index(0, 0).data().toString(), "99-000-0006");
    EXPECT_EQ(model.index(4, 0).data().toString(), "99-000-0010");

    browser.ShowAll();
    model.sort(1, Qt::DescendingOrder);
    EXPECT_EQ(model.rowCount(), 10);
    EXPECT_EQ(model.index(0, 1).data().toString(), "Zincite");
    browser.edtSearch->setText("qu");
    browser.RunSearch();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1, 1).data().toString(), "Quartz");
    browser.cmbField->setCurrentIndex(browser.cmbField->count() - 1);
    browser.edtSearch->setText("3.035 2.285");
    browser.RunSearch();
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(browser.plotView->Pattern().Title, "99-000-0004  Calcite");
    EXPECT_EQ(browser.plotView->Pattern().Sticks.size(), 13u);
    browser.edtSearch->setText("3.0 x");
    EXPECT_THROW(browser.RunSearch(), Exception);
    browser.close();
    EXPECT_EQ(FolderBytes(temp.Path() / "db"), before);
}

} // namespace
} // namespace norrvik
