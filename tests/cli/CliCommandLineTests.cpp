// The command line as users meet it: every --json output one document, a
// stopped run's summary, the bar on a narrow terminal, mistyped names and
// help, exit statuses and messages that say what to do, and dump's numbers.
#include "CliRun.h"
#include "common/ByteOrder.h"
#include "support/TempFolder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <charconv>
#include <csignal>
#include <filesystem>
#include <regex>

namespace norrvik {
namespace {

using test::CliResult;
using test::RunCommand;
using test::Sample;

std::string Converted(test::TempFolder& temp, const std::string& name)
{
    EXPECT_EQ(RunCommand({"convert", "-q", Sample("kandor"), temp.Text(name)}).Status, 0);
    return temp.Text(name);
}

// Drivers that add two patterns to a target of five, then meet `signal`
// while the third entry is converted; or fail there when `signal` is 0.
TCliOptions StoppedAtEntryThree(int signal)
{
    auto driver = [signal](const std::string&, const std::string&, bool&, const ProgressCallback& progress,
                           TConversionSummary* summary) {
        for (long entry = 1; entry <= 5; ++entry) {
            if (entry == 3 && signal == 0)
                throw Exception("File X.PDB cannot be read.");
            if (entry == 3)
                std::raise(signal);
            progress(TProgress{TProgress::Stage::Converting, entry, 5});
            summary->Added = entry;
            summary->TargetPatternCount = 5 + entry;
        }
    };
    TCliOptions options;
    options.Drivers = {driver, driver, driver};
    return options;
}

TEST(CliJson, EveryOutputIsOneDocumentOrNothing)
{
    test::TempFolder temp;
    const std::string db = Converted(temp, "db");
    const std::string cut = Converted(temp, "cut");
    std::filesystem::resize_file(temp.Path() / "cut" / "ReferenceDatabase.PDB", 4 * 3310); // pattern 4 cut off
    std::filesystem::create_directories(temp.Path() / "empty");
    struct Case {
        std::vector<std::string> Args;
        int Status;
        TCliOptions Options = {};
    };
    const Case cases[] = {
        {{"dump", "--json", db, "--code", "99-000-0042"}, 1}, {{"dump", "--json", db, "--code", "99-000-0003"}, 0},
        {{"dump", "--json", db}, 0}, {{"dump", "--json", temp.Text("none")}, 2}, {{"dump", "--json", cut}, 1},
        {{"detect", "--json", Sample("kandor")}, 0}, {{"detect", "--json", temp.Text("empty")}, 1},
        {{"detect", "--json", temp.Text("none")}, 2}, {{"verify", "--json", db}, 0},
        {{"verify", "--json", temp.Text("none")}, 2}, {{"convert", "--json", "-n", Sample("veltro"), db}, 0},
        {{"convert", "--json", Sample("veltro"), db}, 0}, {{"convert", "--json", db, db}, 1},
        {{"convert", "--json", "-f", "kandor", temp.Text("empty"), temp.Text("t")}, 130, StoppedAtEntryThree(SIGINT)},
        {{"convert", "--json", "-f", "kandor", temp.Text("empty"), temp.Text("t")}, 1, StoppedAtEntryThree(0)},
    };
    for (const Case& c : cases) {
        const CliResult result = RunCommand(c.Args, c.Options);
        SCOPED_TRACE(c.Args[0] + " " + c.Args.back() + "\n" + result.Out + result.Err);
        EXPECT_EQ(result.Status, c.Status);
        EXPECT_TRUE(result.Out.empty() || nlohmann::json::accept(result.Out));
        EXPECT_TRUE(c.Status != 0 || !result.Out.empty());
    }
}

class CliStoppedRun : public ::testing::TestWithParam<int> {};

TEST_P(CliStoppedRun, PrintsWhatWasAddedAndStays)
{
    test::TempFolder temp;
    const std::vector<std::string> args{"convert", "-f", "kandor", temp.Text(), temp.Text("t")};
    CliResult result = RunCommand(args, StoppedAtEntryThree(GetParam()));
    EXPECT_EQ(result.Status, 128 + GetParam());
    EXPECT_EQ(result.Out, "Conversion cancelled after 3 of 5 entries; 2 patterns added; the target database now "
                          "holds 7 patterns\n");
    std::vector<std::string> json = args;
    json.push_back("--json");
    result = RunCommand(json, StoppedAtEntryThree(GetParam()));
    EXPECT_EQ(result.Status, 128 + GetParam());
    const nlohmann::json summary = nlohmann::json::parse(result.Out);
    EXPECT_EQ(summary["outcome"], "cancelled");
    EXPECT_EQ(summary["added"], 2);
    EXPECT_EQ(summary["target_pattern_count"], 7);
}

INSTANTIATE_TEST_SUITE_P(Signals, CliStoppedRun, ::testing::Values(SIGINT, SIGTERM, SIGHUP));

TEST(CliProgress, BarFitsTheTerminalAndFollowsItsWidth)
{
    test::TempFolder temp;
    const ConversionDriver reporting = test::ReportTenEntries;
    // Widths as the terminal answers them, one per redraw (the last repeats).
    for (const std::vector<int>& widths : std::vector<std::vector<int>>{{40}, {25}, {12}, {100}, {100, 40}}) {
        TCliOptions options;
        options.Drivers = {reporting, reporting, reporting};
        options.DrawProgress = true;
        auto asked = std::make_shared<std::size_t>(0);
        options.ColumnsOf = [widths, asked](TStandardStream) {
            return std::optional<int>(widths[std::min((*asked)++, widths.size() - 1)]);
        };
        const CliResult result = RunCommand({"convert", "-f", "kandor", temp.Text(), temp.Text("t")}, options);
        SCOPED_TRACE(widths.back());
        EXPECT_EQ(result.Status, 0);
        std::vector<std::string> drawn;
        for (std::size_t start = 0, end; start < result.Err.size(); start = end + 1) {
            end = std::min(result.Err.find_first_of("\r\n", start), result.Err.size());
            drawn.push_back(result.Err.substr(start, end - start));
        }
        ASSERT_GE(drawn.size(), 3u);
        for (std::size_t i = widths.size() == 1 ? 0 : 2; i < drawn.size(); ++i)
            EXPECT_LT(drawn[i].size(), static_cast<std::size_t>(widths.back())) << drawn[i];
        EXPECT_NE(result.Err.find(widths.back() >= 40 ? "] Writing indexes: 10 of 10" : "\rWriting"),
                  std::string::npos);
    }
}

TEST(CliUsage, MistypedNamesHelpAndShortOptions)
{
    test::TempFolder temp;
    struct Case {
        std::vector<std::string> Args;
        int Status;
        std::string Text; // in stdout for status 0, in stderr otherwise
    };
    const Case cases[] = {
        {{"conver"}, 2, "'conver' is not a norrvik-cli command. Did you mean 'convert'?"},
        {{"-V"}, 2, "'-V' is not an option of norrvik-cli. Did you mean '--version'?"},
        {{"convert", "--dryrun", "a", "b"}, 2, "'--dryrun' is not an option of convert. Did you mean '--dry-run'?"},
        {{"help", "verfy"}, 2, "Did you mean 'verify'?"},
        {{}, 2, "a command is required"},
        {{"help"}, 0, "Run \"norrvik-cli help COMMAND\""},
        {{"help", "dump"}, 0, "Example:\n  norrvik-cli dump "},
        {{"verify", "--help"}, 0, "Exit status:\n  0: sound\n"},
        {{"convert", "-n", "-q", "-f", "kandor", Sample("kandor"), temp.Text("t")}, 0, "Dry run, nothing written"},
    };
    for (const Case& c : cases) {
        const CliResult result = RunCommand(c.Args);
        EXPECT_EQ(result.Status, c.Status) << c.Text;
        EXPECT_NE((c.Status == 0 ? result.Out : result.Err).find(c.Text), std::string::npos) << result.Err;
    }
    EXPECT_EQ(RunCommand({"convert", "-n", "-q", Sample("kandor"), temp.Text("t")}).Err, ""); // no "Format:" line

    // Help fits a terminal 41 columns wide (a lone word longer than the room stays whole).
    TCliOptions narrow;
    narrow.ColumnsOf = [](TStandardStream) { return std::optional<int>(41); };
    for (const char* command : {"convert", "detect", "dump", "verify", "rebuild", "recover"}) {
        const std::string help = RunCommand({"help", command}, narrow).Out;
        std::istringstream lines(help);
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(line.size() <= 40 || line.find(' ', line.find_first_not_of(' ')) == std::string::npos)
                << command << ": " << line;
    }
}

TEST(CliMessages, ExitStatusesAndWhatToDo)
{
    test::TempFolder temp;
    const std::string db = Converted(temp, "db");
    const std::string full = Converted(temp, "full");
    auto main = test::ReadFile(temp.Path() / "full" / "ReferenceDatabase.PDB");
    WriteI32LE(main, 10, 9999); // every user code given
    test::WriteFile(temp.Path() / "full" / "ReferenceDatabase.PDB", main);
    const std::string damaged = Converted(temp, "damaged");
    std::filesystem::resize_file(temp.Path() / "damaged" / "ReferenceDatabase.PDB", 3 * 3310);
    std::filesystem::create_directories(temp.Path() / "empty");
    struct Case {
        std::vector<std::string> Args;
        int Status;
        std::string Said;
        std::string NotSaid = "\x01";
    };
    const std::string limit = "The Tessaly database in " + full; // "already holds 9999 user patterns"
    const Case cases[] = {
        {{"dump", temp.Text("none")}, 2, "doesn't exist"},
        {{"detect", temp.Text("none")}, 2, "doesn't exist"},
        {{"detect", temp.Text("empty")}, 1, "holds no Quorvane, Kandor or Veltro database", "--format"},
        {{"convert", db, temp.Text("t")}, 0, "Format: Tessaly (ReferenceDatabase.PDB), found in " + db},
        {{"convert", "-n", Sample("kandor"), full}, 1, limit},
        {{"convert", Sample("kandor"), full}, 1, limit},
        {{"convert", Sample("kandor"), full}, 1, "stay in it; convert the rest into a new target folder"},
        {{"convert", Sample("kandor"), damaged}, 1, "repair the database with \"norrvik-cli recover\""},
    };
    for (const Case& c : cases) {
        const CliResult result = RunCommand(c.Args);
        EXPECT_EQ(result.Status, c.Status) << c.Args[0] << " " << c.Args.back() << "\n" << result.Err;
        EXPECT_NE(result.Err.find(c.Said), std::string::npos) << result.Err;
        EXPECT_EQ(result.Err.find(c.NotSaid), std::string::npos) << result.Err;
    }

    // The dry run's summary has the real run's names, with the values the run then has.
    const nlohmann::json dry = nlohmann::json::parse(RunCommand({"convert", "-n", "--json", Sample("veltro"), db}).Out);
    const nlohmann::json run = nlohmann::json::parse(RunCommand({"convert", "--json", Sample("veltro"), db}).Out);
    for (const char* key : {"outcome", "format", "old_folder", "new_folder", "entries", "added", "skipped",
                            "earlier_imports", "target_pattern_count"})
        EXPECT_EQ(dry[key], run[key]) << key;
}

TEST(CliConvert, RelativeOldFolderIsRecordedAbsolute)
{
    test::TempFolder temp;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(Sample(""));
    const int status = RunCommand({"convert", "-q", "./kandor/../kandor", temp.Text("t")}).Status;
    std::filesystem::current_path(before);
    ASSERT_EQ(status, 0);
    const nlohmann::json dump = nlohmann::json::parse(RunCommand({"dump", "--json", temp.Text("t")}).Out);
    EXPECT_EQ(dump["patterns"][0]["comments"][0], "Imported from " + Sample("kandor"));
}

TEST(CliDump, UnitIndicesNotGivenAndShortestSpacings)
{
    test::TempFolder temp;
    const std::string db = Converted(temp, "db");
    const std::string text = RunCommand({"dump", db, "--code", "99-000-0001"}).Out;
    EXPECT_NE(text.find("d (\xC3\x85)"), std::string::npos) << text;
    EXPECT_EQ(text.find(" 0     0     0"), std::string::npos) << text;
    const CliResult json = RunCommand({"dump", "--json", db});
    const nlohmann::json lines = nlohmann::json::parse(json.Out)["patterns"][0]["lines"];
    EXPECT_TRUE(lines[0]["h"].is_null());
    const std::regex spacing("\"d\":([-0-9.e+]+)");
    std::size_t seen = 0;
    for (auto it = std::sregex_iterator(json.Out.begin(), json.Out.end(), spacing); it != std::sregex_iterator();
         ++it, ++seen) {
        const std::string written = (*it)[1];
        char shortest[32];
        const float d = std::stof(written);
        EXPECT_EQ(written, std::string(shortest, std::to_chars(shortest, shortest + 32, d).ptr));
    }
    EXPECT_GT(seen, 20u);
}

} // namespace
} // namespace norrvik
