// The import log through the program: the re-import guard knows a folder
// however it is typed, and history lists what each run did; each commit's
// entry lines are written once.
#include "CliRun.h"

#include "convert/ImportLog.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;

// Runs in `folder` as the working folder, then returns to the one before.
class TWorkingFolder {
public:
    explicit TWorkingFolder(const fs::path& folder) : before_(fs::current_path()) { fs::current_path(folder); }
    ~TWorkingFolder() { fs::current_path(before_); }

private:
    fs::path before_;
};

TEST(ImportLog, TheGuardKnowsTheFolderHoweverItIsTypedAndHistoryListsTheRun)
{
    test::TempFolder temp;
    const fs::path data = temp.Path() / "data";
    fs::create_directories(data);
    fs::copy(test::Sample("kandor"), data / "kandor");
    std::error_code noLinks; // a system without symbolic links (Windows without the right) tests the rest
    fs::create_directory_symlink(data / "kandor", temp.Path() / "link", noLinks);
    const std::string target = temp.Text("db");
    ASSERT_EQ(RunCommand({"convert", "-q", (data / "kandor").string(), target}).Status, 0);

    // The working folder each text is typed in, and the text.
    std::vector<std::pair<fs::path, std::string>> spellings = {
        {temp.Path(), (data / "kandor").string() + "/"},
        {temp.Path(), "data/kandor"},
        {data, "./kandor/"},
        {data / "kandor", "."},
        {data, "../data/kandor/../kandor"},
    };
    if (!noLinks) {
        spellings.emplace_back(temp.Path(), "link");
        spellings.emplace_back(temp.Path(), (temp.Path() / "link").string() + "/");
    }
    // Another letter case, where the file system ignores it.
    if (fs::exists(temp.Path() / "DATA" / "KANDOR"))
        spellings.emplace_back(temp.Path(), "DATA/Kandor");
    for (const auto& [folder, text] : spellings) {
        SCOPED_TRACE(text);
        const TWorkingFolder working(folder);
        const test::CliResult result = RunCommand({"convert", "-q", "--skip-reimport", text, target});
        EXPECT_EQ(result.Status, 1);
        EXPECT_NE(result.Err.find("already holds 5 patterns imported from"), std::string::npos) << result.Err;
        EXPECT_NE(result.Err.find("The last import from there was run 1 on "), std::string::npos) << result.Err;
    }

    const test::CliResult history = RunCommand({"history", "--json", "--run", "1", target});
    ASSERT_EQ(history.Status, 0) << history.Err;
    const nlohmann::json run = nlohmann::json::parse(history.Out);
    EXPECT_EQ(run["outcome"], "completed");
    EXPECT_EQ(run["new_database"], true);
    EXPECT_EQ(run["source"]["path"], fs::weakly_canonical(data / "kandor").string());
    ASSERT_EQ(run["entries"].size(), 5u);
    EXPECT_EQ(run["entries"][0]["code"], "99-000-0001");
    EXPECT_EQ(run["entries"][0]["result"], "added");
    EXPECT_EQ(RunCommand({"history", "--run", "2", target}).Status, 1);
}

// The writer keeps its buffer of entry lines from commit to commit: each
// commit writes its own lines, none of an earlier one again.
TEST(ImportLog, EachCommitWritesItsOwnEntryLines)
{
    test::TempFolder temp;
    TImportLogWriter writer(temp.Path());
    TImportRun run;
    run.Number = 1;
    writer.WriteBegin(run);
    writer.WriteEntries(1, {{1, "a", "99-000-0001"}, {2, "b", "99-000-0002"}});
    writer.WriteEntries(1, {{3, "c", "99-000-0003"}});
    const std::vector<TImportRun> runs = ReadImportLog(temp.Path());
    ASSERT_EQ(runs.size(), 1u);
    ASSERT_EQ(runs[0].Entries.size(), 3u);
    EXPECT_EQ(runs[0].Entries[2].Code, "99-000-0003");
}

} // namespace
} // namespace norrvik
