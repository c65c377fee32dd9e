// The parts of the window model that every view draws or says as they are:
// the busy indicator's state through a run and a Cancel, the details of a
// run, the answers given without a window, the command line over the
// remembered choices, and where a folder picker opens.
#include "common/Version.h"
#include "support/TempFolder.h"
#include "window/BusyPanel.h"
#include "window/FolderText.h"
#include "window/WindowArguments.h"
#include "window/WindowTexts.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <filesystem>

namespace norrvik {
namespace {

TEST(BusyPanel, RunCancelAndIndexWriting)
{
    struct Step {
        const char* What; // "start", "cancel" or a report
        TProgressDisplay Report;
        TBusyPanelState Expected;
    };
    const long huge = std::numeric_limits<long>::max(); // beyond int where long is wider
    const Step steps[] = {
        {"start", {}, {windowtext::kConverting, 0, 0, true}},
        {"report", {"Converting entry 2 of 5", 2, 5, true}, {"Converting entry 2 of 5", 5, 2, true}},
        {"report", {"Converting entry 9", 9, 0, true}, {"Converting entry 9", 0, 0, true}},
        {"report", {"big", huge, huge, true}, {"big", INT_MAX, INT_MAX, true}},
        {"cancel", {}, {windowtext::kCancelling, INT_MAX, INT_MAX, false}},
        // After Cancel the line keeps saying so, until the index writing,
        // which cannot be stopped, says what it does.
        {"report", {"Converting entry 4 of 5", 4, 5, true}, {windowtext::kCancelling, 5, 4, false}},
        {"report", {"Writing the indexes", 1, 3, false}, {"Writing the indexes", 3, 1, false}},
        {"start", {}, {windowtext::kConverting, 0, 0, true}},
    };
    TBusyPanel panel;
    for (const Step& step : steps) {
        const std::string what = step.What;
        if (what == "start")
            panel.Start();
        else if (what == "cancel")
            panel.Cancel();
        else
            panel.Show(step.Report);
        const TBusyPanelState& state = panel.State();
        EXPECT_EQ(state.Line, step.Expected.Line) << what << " " << step.Report.Text;
        EXPECT_EQ(state.Range, step.Expected.Range) << what << " " << step.Report.Text;
        EXPECT_EQ(state.Position, step.Expected.Position) << what << " " << step.Report.Text;
        EXPECT_EQ(state.CancelEnabled, step.Expected.CancelEnabled) << what << " " << step.Report.Text;
    }
}

TEST(WindowArgumentsTest, AnswersWithoutWindowAndOverRememberedChoices)
{
    const auto answer = [](std::vector<std::string> arguments, bool toolkit = true) {
        arguments.insert(arguments.begin(), "norrvik");
        return AnswerWithoutWindow(ParseWindowArguments(arguments), toolkit);
    };
    EXPECT_FALSE(answer({"old", "new"}));
    EXPECT_EQ(answer({"--version"})->Text, "norrvik " + std::string(kVersion) + "\n");
    EXPECT_NE(answer({"--help"})->Text.find("Qt's own options"), std::string::npos);
    EXPECT_EQ(answer({"--help"}, false)->Text.find("Qt"), std::string::npos);
    const auto refused = answer({"--bogus"});
    EXPECT_TRUE(refused->IsError);
    EXPECT_EQ(refused->Status, 2);

    const TWindowChoices remembered{0, "last-old", "last-new"};
    const TWindowChoices oneFolder = WithArguments(remembered, ParseWindowArguments({"norrvik", "-f", "veltro", "x"}));
    EXPECT_EQ(oneFolder.FormatIndex, 2);
    EXPECT_EQ(oneFolder.OldFolder, "x");
    EXPECT_EQ(oneFolder.NewFolder, "last-new");
    const TWindowChoices none = WithArguments(remembered, ParseWindowArguments({"norrvik"}));
    EXPECT_EQ(none.FormatIndex, 0);
    EXPECT_EQ(none.OldFolder, "last-old");
}

TEST(RunDetailsTest, NamesTheEntriesWithoutPatternFileAndTheCodesCarriedOver)
{
    struct Case {
        std::vector<std::string> WithoutPatternFile;
        std::vector<TCodeMapping> Mappings;
        std::string Expected;
    };
    const std::vector<Case> cases{
        {{}, {}, ""},
        {{"A1.DI", "B1234.DI"}, {}, "2 entries had no pattern file and were converted without lines:\nA1.DI\nB1234.DI"},
        {{},
         {{"99-000-0003", "99-000-0042", false}, {"99-000-0004", "99-000-0007", true}},
         "The code of each user pattern in the target (old -> new):\n99-000-0003 -> 99-000-0042\n"
         "99-000-0004 -> 99-000-0007 (already present)"},
        {{"C.DI"},
         {{"99-000-0001", "99-000-1000", false}},
         "1 entry had no pattern file and was converted without lines:\nC.DI\n\nThe code of each user pattern in "
         "the target (old -> new):\n99-000-0001 -> 99-000-1000"},
    };
    for (const Case& c : cases) {
        TConversionSummary summary;
        summary.EntriesWithoutLines = static_cast<long>(c.WithoutPatternFile.size());
        summary.EntriesWithoutPatternFile = c.WithoutPatternFile;
        summary.CodeMappings = c.Mappings;
        EXPECT_EQ(windowtext::RunDetails(summary), c.Expected);
    }
}

TEST(FolderTextTest, PickerOpensAtTheNearestExistingFolder)
{
    test::TempFolder temp;
    std::filesystem::create_directories(temp.Path() / "a" / "b");
    const std::string a = (temp.Path() / "a").string();
    EXPECT_EQ(PickerStartFolder("  " + a + "  "), a);
    EXPECT_EQ(PickerStartFolder((temp.Path() / "a" / "missing" / "deeper").string()), a);
    EXPECT_EQ(PickerStartFolder("nowhere-relative/x"), "");
    EXPECT_EQ(PickerStartFolder(""), "");
}

} // namespace
} // namespace norrvik
