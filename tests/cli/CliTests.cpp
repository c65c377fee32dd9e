// The command line: converting the bundled samples, what reaches stdout and
// stderr with which exit status, the progress bar, dump, verify and rebuild
// (Ctrl-C: SignalAndLockTests.cpp).
#include "cli/Cli.h"
#include "CliRun.h"
#include "cli/TerminalProgress.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace norrvik {
namespace {

using test::CliResult;
using test::RunCommand;
using test::Sample;

using test::WithDriver;

TEST(CliConvert, EachBundledSampleConvertsAndDumps)
{
    const std::pair<std::string, std::vector<std::string>> samples[] = {
        {"quorvane", {"Quartz", "Corundum", "Halite", "Calcite", "Silicon"}},
        {"kandor", {"Halite", "Silicon", "Periclase", "Rutile", "Fluorite"}},
        {"veltro", {"Quartz", "Calcite", "Zincite", "Rutile", "Corundum"}},
    };
    for (const auto& [format, names] : samples) {
        SCOPED_TRACE(format);
        test::TempFolder temp;
        const std::string target = temp.Text("new db");
        CliResult result = RunCommand({"convert", "--format", format, Sample(format), target});
        EXPECT_EQ(result.Status, 0) << result.Err;
        EXPECT_EQ(result.Err, ""); // no bar: not a terminal
        EXPECT_EQ(result.Out, "5 patterns added, 0 skipped as already present; the target database now holds "
                              "5 patterns\n");

        result = RunCommand({"dump", target});
        EXPECT_EQ(result.Status, 0) << result.Err;
        EXPECT_NE(result.Out.find("Title:     PDF2\nPatterns:  5 (5 user patterns)\n"), std::string::npos);
        for (std::size_t i = 0; i < names.size(); ++i) {
            const std::string heading = "Pattern " + std::to_string(i + 1) + ": 99-000-000" + std::to_string(i + 1) +
                                        "\n  Names:    M " + names[i] + "\n";
            EXPECT_NE(result.Out.find(heading), std::string::npos) << heading;
        }
        EXPECT_NE(result.Out.find("    Imported from " + Sample(format) + "\n"), std::string::npos);

        result = RunCommand({"verify", target});
        EXPECT_EQ(result.Status, 0) << result.Out;
        EXPECT_EQ(result.Out, "No problems found.\n");

        // Into the same target again: the user patterns are added again.
        result = RunCommand({"convert", "--format", format, Sample(format), target});
        EXPECT_EQ(result.Status, 0) << result.Err;
        EXPECT_EQ(result.Out, "5 patterns added, 0 skipped as already present; the target database now holds "
                              "10 patterns\n");
    }
}

TEST(CliConvert, FailuresGoToStderrWithStatusOne)
{
    test::TempFolder temp;
    const std::string target = temp.Text("target");

    // An old folder that does not exist: nothing is created.
    const std::string missing = temp.Text("no such folder") + " ";
    CliResult result = RunCommand({"convert", "--format", "veltro", missing, target});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "Folder with the old reference database (" + missing + ") doesn't exist.\n");
    EXPECT_EQ(result.Out, "");
    EXPECT_FALSE(std::filesystem::exists(target));

    result = RunCommand({"convert", "--format", "kandor", Sample("kandor"), "  "});
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "Empty string for: Folder with the Tessaly reference database.\n");

    // A real driver's error: a Kandor folder without its index file.
    std::filesystem::create_directories(temp.Path() / "empty");
    result = RunCommand({"convert", "--format", "kandor", temp.Text("empty"), target});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("PDDATABS.DAT"), std::string::npos) << result.Err;
    EXPECT_EQ(result.Out, "");

    // A driver's exception message, as it stands; a false result.
    result = RunCommand({"convert", "--format", "quorvane", temp.Text(), target},
                 WithDriver([](auto&&...) { throw Exception("File /x/QUORVANE.IND not found."); }));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "File /x/QUORVANE.IND not found.\n");
    result = RunCommand({"convert", "--format", "quorvane", temp.Text(), target}, WithDriver([](auto&&...) {}));
    EXPECT_EQ(result.Status, 1);
    EXPECT_EQ(result.Err, "Conversion failed\n");
}

TEST(CliConvert, FoldersAndFormatPassedOnAsGiven)
{
    test::TempFolder temp;
    std::vector<std::string> called;
    auto recording = [&](const char* name) {
        return [&called, name](const std::string& oldFolder, const std::string& newFolder, bool& success,
                               auto&&...) {
            called.push_back(std::string(name) + "|" + oldFolder + "|" + newFolder);
            success = true;
        };
    };
    TCliOptions options;
    options.Drivers = {recording("q"), recording("k"), recording("v")};
    const std::string oldFolder = temp.Text() + "/";
    const std::string newFolder = " " + temp.Text("n\xC3\xA9w") + " ";
    for (const char* format : {"quorvane", "kandor", "veltro", "KANDOR"})
        EXPECT_EQ(RunCommand({"convert", "--format", format, oldFolder, newFolder}, options).Status, 0);
    EXPECT_EQ(called, (std::vector<std::string>{"q|" + oldFolder + "|" + newFolder, "k|" + oldFolder + "|" + newFolder,
                                                "v|" + oldFolder + "|" + newFolder,
                                                "k|" + oldFolder + "|" + newFolder}));
}

TEST(CliUsage, HelpAndWrongArguments)
{
    CliResult result = RunCommand({"--help"});
    EXPECT_EQ(result.Status, 0);
    for (const char* command : {"convert", "dump", "verify", "rebuild"})
        EXPECT_NE(result.Out.find(command), std::string::npos) << command;
    result = RunCommand({"convert", "--help"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Out.find("--format"), std::string::npos);
    EXPECT_NE(result.Out.find("quorvane"), std::string::npos);
    result = RunCommand({"dump", "--help"});
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Out.find("--code"), std::string::npos);

    for (const std::vector<std::string>& wrong :
         {std::vector<std::string>{}, {"convert", "--format"}, {"convert", "--format", "pdf3", "a", "b"},
          {"convert", "--format", "kandor", "a"}, {"dump"}, {"frobnicate"}}) {
        result = RunCommand(wrong);
        EXPECT_EQ(result.Status, 2) << (wrong.empty() ? "" : wrong[0]);
        EXPECT_FALSE(result.Err.empty());
    }
}

TEST(CliProgress, BarOnlyWhenDrawingAndEndedByANewline)
{
    test::TempFolder temp;
    const ConversionDriver reporting = test::ReportTenEntries;
    CliResult result = RunCommand({"convert", "--format", "kandor", temp.Text(), temp.Text("t")}, WithDriver(reporting, true));
    EXPECT_EQ(result.Status, 0);
    EXPECT_NE(result.Err.find("\r[" + std::string(30, '#') + "] Converting entry 10 of 10"), std::string::npos);
    EXPECT_NE(result.Err.find("\r[" + std::string(30, '#') + "] Writing indexes: 10 of 10"), std::string::npos);
    EXPECT_EQ(result.Err.back(), '\n');
    EXPECT_EQ(result.Out.find('\r'), std::string::npos); // the summary stays clean

    result = RunCommand({"convert", "--format", "kandor", temp.Text(), temp.Text("t")}, WithDriver(reporting, false));
    EXPECT_EQ(result.Err, "");

    // Cells are filled in proportion; nothing known gives an empty bar.
    EXPECT_EQ(ProgressBarLine(TProgress{TProgress::Stage::Converting, 12, 380}, 10), "[..........] Converting entry 12 of 380");
    EXPECT_EQ(ProgressBarLine(TProgress{TProgress::Stage::Converting, 190, 380}, 10), "[#####.....] Converting entry 190 of 380");
    EXPECT_EQ(ProgressBarLine(TProgress{TProgress::Stage::WritingIndexes, 7, 0}, 4), "[....] Writing indexes: 7");
    EXPECT_EQ(ProgressBarLine(TProgress{TProgress::Stage::Converting, 9, 3}, 4), "[####] Converting entry 9 of 3");
}

TEST(CliDatabaseCommands, DumpVerifyAndRebuildReportErrors)
{
    test::TempFolder temp;
    const std::string target = temp.Text("db");
    ASSERT_EQ(RunCommand({"convert", "--format", "quorvane", Sample("quorvane"), target}).Status, 0);

    // One pattern by its code: Halite, with its strongest line 200 at 2.821 A.
    CliResult result = RunCommand({"dump", target, "--code", "99-000-0003"});
    ASSERT_EQ(result.Status, 0) << result.Err;
    EXPECT_NE(result.Out.find("Pattern 3: 99-000-0003\n  Names:    M Halite\n  Formula:  Na Cl\n"
                              "  Status:   8 (user pattern)\n  Subfiles: I M\n  Lines:    9\n"),
              std::string::npos)
        << result.Out;
    EXPECT_NE(result.Out.find("         2.82100    100\n"), std::string::npos); // no h k l given
    EXPECT_EQ(result.Out.find("Pattern 1:"), std::string::npos);

    result = RunCommand({"dump", target, "--code", "99-000-0042"});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Err.find("No pattern found with"), std::string::npos) << result.Err;
    result = RunCommand({"dump", temp.Text("nothing here")});
    EXPECT_EQ(result.Status, 2);
    EXPECT_EQ(result.Err, "Folder " + temp.Text("nothing here") + test::kDelimiter + " doesn't exist.\n");

    // Damaged indexes (one that the store cannot even read): verify names
    // them and changes nothing; rebuild mends them.
    const std::filesystem::path nameIndex = temp.Path() / "db" / "Name.PDB";
    test::WriteFile(nameIndex, std::string("      3\r\n"));
    test::WriteFile(temp.Path() / "db" / "ReferenceCode.PDB", std::string("x1\r\n"));
    const auto before = test::ReadFile(nameIndex);
    result = RunCommand({"verify", target});
    EXPECT_EQ(result.Status, 1);
    EXPECT_NE(result.Out.find("Name.PDB"), std::string::npos) << result.Out;
    EXPECT_NE(result.Out.find("ReferenceCode.PDB"), std::string::npos) << result.Out;
    EXPECT_EQ(test::ReadFile(nameIndex), before);

    result = RunCommand({"rebuild", target});
    EXPECT_EQ(result.Status, 0) << result.Err;
    EXPECT_EQ(result.Out, "Rebuilt the indexes of 5 patterns.\n");
    result = RunCommand({"verify", target});
    EXPECT_EQ(result.Status, 0) << result.Out;

    result = RunCommand({"rebuild", temp.Text("nothing here")});
    EXPECT_EQ(result.Status, 1);
    EXPECT_FALSE(result.Err.empty());
}

TEST(CliProgram, ConvertsWithoutABarWhenStderrIsNotATerminal)
{
    test::TempFolder temp;
    const std::string command = std::string("'") + NORRVIK_CLI_PROGRAM + "' convert --format veltro '" +
                                Sample("veltro") + "' '" + temp.Text("t") + "' 2>'" + temp.Text("err.txt") + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        out += buffer;
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "5 patterns added, 0 skipped as already present; the target database now holds 5 patterns\n");
    EXPECT_EQ(test::ReadFileText(temp.Path() / "err.txt"), "");
}

} // namespace
} // namespace norrvik
