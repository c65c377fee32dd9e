// The command line for scripts and careful users: the format found from the
// files, the dry run, the re-import guard, JSON output parsed back, the exit
// status of verify, and a failed write to stdout.
#include "cli/Cli.h"
#include "CliRun.h"
#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using test::Sample;

struct CliResult : test::CliResult {
    nlohmann::json Json() const { return nlohmann::json::parse(Out); }
};

CliResult RunCliWith(const std::vector<std::string>& args, std::ostream* out = nullptr)
{
    return {test::RunCommand(args, {}, out)};
}

// Every file of a folder with its bytes; empty for a folder that is absent.
std::map<std::string, std::vector<std::uint8_t>> Snapshot(const std::filesystem::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    if (std::filesystem::exists(folder))
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file())
                files[entry.path().filename().string()] = test::ReadFile(entry.path());
    return files;
}

class EachSample : public ::testing::TestWithParam<std::string> {};

TEST_P(EachSample, FoundDryRunGuardAndJsonSummary)
{
    const std::string format = GetParam();
    test::TempFolder temp;
    const std::filesystem::path target = temp.Path() / "db";

    CliResult result = RunCliWith({"detect", "--json", Sample(format)});
    EXPECT_EQ(result.Status, 0) << result.Err;
    ASSERT_EQ(result.Json()["formats"].size(), 1u);
    EXPECT_EQ(result.Json()["formats"][0]["format"], format);
    const std::string name = result.Json()["formats"][0]["file"];

    // A dry run into a folder that does not exist leaves it absent.
    result = RunCliWith({"convert", "--dry-run", "--json", Sample(format), temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    nlohmann::json preview = result.Json();
    EXPECT_EQ(preview["format"], format);
    EXPECT_EQ(preview["entries"], 5);
    EXPECT_EQ(preview["would_add"], 5);
    EXPECT_EQ(preview["target_exists"], false);
    EXPECT_EQ(preview["target_patterns_after"], 5);
    EXPECT_FALSE(std::filesystem::exists(target));

    // Without --format the format is found and named.
    result = RunCliWith({"convert", "--json", Sample(format), temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Err.find("(" + name + "), found in " + Sample(format) + "\n"), std::string::npos) << result.Err;
    nlohmann::json summary = result.Json();
    EXPECT_EQ(summary["added"], 5);
    EXPECT_EQ(summary["skipped"], 0);
    EXPECT_EQ(summary["earlier_imports"], 0);
    EXPECT_EQ(summary["entries_without_lines"], 0);
    EXPECT_EQ(summary["target_pattern_count"], 5);

    // Into the same target again: the dry run sees the earlier import and
    // changes no byte; --skip-reimport refuses; a plain run warns and adds.
    const auto before = Snapshot(target);
    result = RunCliWith({"convert", "--dry-run", "--format", format, Sample(format), temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Out.find("Imported earlier from this folder: 5\n"), std::string::npos) << result.Out;
    EXPECT_NE(result.Out.find("Target patterns afterwards:     10\n"), std::string::npos) << result.Out;
    result = RunCliWith({"convert", "--skip-reimport", Sample(format), temp.Text("db")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("already holds 5 patterns imported from " + Sample(format) +
                              ". The last import from there was run 1 on "),
              std::string::npos)
        << result.Err;
    EXPECT_NE(result.Err.find(" (5 patterns, completed). Nothing was converted"), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "");
    EXPECT_EQ(Snapshot(target), before);

    result = RunCliWith({"convert", "--format", format, Sample(format), temp.Text("db")});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Err.find("Warning: The Tessaly database in " + temp.Text("db") + " already holds 5 patterns"),
              std::string::npos)
        << result.Err;
    EXPECT_NE(result.Out.find("now holds 10 patterns"), std::string::npos);

    // dump --json: every field dump prints, parsed back.
    result = RunCliWith({"dump", "--json", temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    const nlohmann::json dump = result.Json();
    EXPECT_EQ(dump["title"], "PDF2");
    EXPECT_EQ(dump["pattern_count"], 10);
    EXPECT_EQ(dump["user_pattern_count"], 10);
    ASSERT_EQ(dump["patterns"].size(), 10u);
    const nlohmann::json& first = dump["patterns"][0];
    EXPECT_EQ(first["record"], 1);
    EXPECT_EQ(first["code"], "99-000-0001");
    EXPECT_EQ(first["names"][0]["type"], "M");
    EXPECT_EQ(first["status"], 8);
    EXPECT_EQ(first["user_pattern"], true);
    EXPECT_EQ(first["comments"], nlohmann::json::array({"Imported from " + Sample(format)}));
    EXPECT_GT(first["lines"].size(), 0u);
    for (const char* key : {"formula", "subfiles", "coded_comments", "references", "supplementary_lines"})
        EXPECT_TRUE(first.contains(key)) << key;
    result = RunCliWith({"dump", "--json", temp.Text("db"), "--code", "99-000-0007"});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Json()["patterns"][0]["record"], 7);
}

INSTANTIATE_TEST_SUITE_P(Samples, EachSample, ::testing::Values("quorvane", "kandor", "veltro"),
                         [](const auto& info) { return info.param; });

TEST(CliFormat, AutoRefusesNoneOrSeveralAndExplicitMismatchWarns)
{
    test::TempFolder temp;
    std::filesystem::create_directories(temp.Path() / "none");
    CliResult result = RunCliWith({"convert", temp.Text("none"), temp.Text("db")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("holds no Quorvane, Kandor or Veltro database"), std::string::npos) << result.Err;
    EXPECT_FALSE(std::filesystem::exists(temp.Path() / "db"));
    result = RunCliWith({"detect", temp.Text("none")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Out, "");

    // Names in another letter case count; two formats in one folder.
    test::WriteFile(temp.Path() / "two" / "pddatabs.dat", std::string(4, '\0'));
    test::WriteFile(temp.Path() / "two" / "UPLOG.PDF", std::string());
    // A Tessaly database counts only where no old one is.
    test::WriteFile(temp.Path() / "two" / "ReferenceDatabase.PDB", std::string());
    test::WriteFile(temp.Path() / "tessaly" / "referencedatabase.pdb", std::string());
    result = RunCliWith({"detect", temp.Text("tessaly")});
    EXPECT_EQ(result.Status, 0);
    EXPECT_EQ(result.Out, "tessaly: Tessaly database (carry over user patterns) (ReferenceDatabase.PDB)\n");
    result = RunCliWith({"detect", temp.Text("two")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Out, "kandor: Kandor format (PDDATABS.DAT)\nveltro: Veltro (VAX VMS) format (uplog.pdf)\n");
    result = RunCliWith({"convert", "--format", "auto", temp.Text("two"), temp.Text("db")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("more than one old database: Kandor (PDDATABS.DAT) and Veltro (uplog.pdf). Name the one"),
              std::string::npos)
        << result.Err;
    EXPECT_FALSE(std::filesystem::exists(temp.Path() / "db"));

    // The wrong format named: converted as asked, as before, but
    // the user hears what the folder holds and that nothing was found.
    result = RunCliWith({"convert", "--format", "veltro", Sample("kandor"), temp.Text("db")});
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Err.find("holds a database in Kandor (PDDATABS.DAT) format, not in Veltro format"),
              std::string::npos)
        << result.Err;
    EXPECT_NE(result.Err.find("Warning: The old folder held nothing to convert.\n"), std::string::npos);
}

TEST(CliDryRun, ReferencePatternsAlreadyPresentAreCountedAsSkipped)
{
    test::TempFolder temp;
    test::QuorvaneDatabase pdf1;
    pdf1.ReferenceDatabase = true;
    for (const char* number : {"05-0490", "75-1234", "05-0490"})
        pdf1.Patterns.push_back(test::MakeQuorvanePattern(number, "Halite~M~", "Na Cl", {{2.821, 100}}));
    test::WriteQuorvaneDatabase(temp.Path() / "pdf1", pdf1);

    CliResult result = RunCliWith({"convert", "--dry-run", "--json", temp.Text("pdf1"), temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Json()["would_add"], 3); // a number repeated within the run is added again, as the run does
    EXPECT_EQ(result.Json()["would_skip"], 0);
    ASSERT_EQ(RunCliWith({"convert", temp.Text("pdf1"), temp.Text("db")}).Status, 0);
    result = RunCliWith({"convert", "--dry-run", "--json", temp.Text("pdf1"), temp.Text("db")});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Json()["would_add"], 0);
    EXPECT_EQ(result.Json()["would_skip"], 3);
    EXPECT_EQ(result.Json()["earlier_imports"], 0); // reference patterns are recognised by code
    EXPECT_EQ(result.Json()["target_patterns_after"], 3);
    result = RunCliWith({"convert", "--json", "--skip-reimport", temp.Text("pdf1"), temp.Text("db")});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Json()["skipped"], 3);
}

TEST(CliVerify, ExitStatusTellsSoundProblemsAndNotChecked)
{
    test::TempFolder temp;
    ASSERT_EQ(RunCliWith({"convert", Sample("veltro"), temp.Text("db")}).Status, 0);
    test::WriteFile(temp.Path() / "file.txt", std::string("x"));
    struct Case {
        std::string Folder;
        int Status;
    };
    for (const Case& c : {Case{temp.Text("db"), 0}, Case{temp.Text("nothing"), 2}, Case{temp.Text("file.txt"), 2}}) {
        const CliResult result = RunCliWith({"verify", "--json", c.Folder});
        EXPECT_EQ(result.Status, c.Status) << c.Folder << result.Err;
        if (c.Status == 2) {
            EXPECT_EQ(result.Out, "");
        }
    }
    EXPECT_NE(RunCliWith({"verify", temp.Text("file.txt")}).Err.find("is a file, not a folder"), std::string::npos);

    test::WriteFile(temp.Path() / "db" / "Name.PDB", std::string("      3\r\n"));
    const CliResult result = RunCliWith({"verify", "--json", temp.Text("db")});
    EXPECT_EQ(result.Status, 1);
    const nlohmann::json report = result.Json();
    EXPECT_EQ(report["sound"], false);
    ASSERT_FALSE(report["problems"].empty());
    for (const nlohmann::json& problem : report["problems"])
        EXPECT_EQ(problem["file"], "Name.PDB") << problem.dump();
}

TEST(CliMessages, SayWhatIsWrongAndWhatToDo)
{
    test::TempFolder temp;
    test::WriteFile(temp.Path() / "file.txt", std::string("x"));
    struct Case {
        std::vector<std::string> Args;
        int Status;
        std::string Message;
    };
    const std::string file = temp.Text("file.txt");
    const std::vector<Case> cases{
        {{"convert", file, temp.Text("db")}, 1,
         "Folder with the old reference database (" + file + ") is a file, not a folder."},
        {{"convert", Sample("kandor"), file}, 1,
         "Folder with the Tessaly reference database (" + file + ") is a file, not a folder."},
        {{"dump", file}, 1, "(" + file + ") is a file, not a folder."},
        {{"rebuild", file + "/"}, 1, "is a file, not a folder."},
        {{"dump", temp.Text(), "--code", "abc"}, 2, "\"abc\" is not a reference code: give its nine digits"},
        {{"dump", temp.Text(), "--code", "00x002x0318"}, 2, "is not a reference code"},
        {{"convert", Sample("kandor"), file + "/db"}, 1, "Cannot create folder " + file + "/db: "},
    };
    for (const Case& c : cases) {
        const CliResult result = RunCliWith(c.Args);
        EXPECT_EQ(result.Status, c.Status) << c.Args[0] << " " << c.Args[1];
        EXPECT_NE(result.Err.find(c.Message), std::string::npos) << result.Err;
        EXPECT_EQ(result.Err.find(".cpp"), std::string::npos) << result.Err;
    }
}

// A stream buffer that refuses every write, like stdout on a full disk.
class FullDisk : public std::streambuf {
protected:
    int_type overflow(int_type) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

TEST(CliOutput, FailedWriteToStdoutIsAnErrorOnEveryCommand)
{
    test::TempFolder temp;
    ASSERT_EQ(RunCliWith({"convert", Sample("kandor"), temp.Text("db")}).Status, 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"--version"}, {"detect", Sample("kandor")}, {"dump", temp.Text("db")},
          {"verify", "--json", temp.Text("db")}, {"convert", "--dry-run", Sample("veltro"), temp.Text("db")},
          {"convert", Sample("veltro"), temp.Text("db")}, {"rebuild", temp.Text("db")}}) {
        FullDisk full;
        std::ostream out(&full);
        const CliResult result = RunCliWith(args, &out);
        EXPECT_NE(result.Status, 0) << args[0];
        EXPECT_NE(result.Err.find("Cannot write to standard output"), std::string::npos) << args[0];
    }

    // The program itself, its output sent to /dev/full.
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    for (const std::string& args : {"dump '" + temp.Text("db") + "'", std::string("--version")}) {
        const std::string command = std::string("'") + NORRVIK_CLI_PROGRAM + "' " + args + " >/dev/full 2>/dev/null";
        EXPECT_NE(std::system(command.c_str()), 0) << args;
    }
}

} // namespace
} // namespace norrvik
