// The conversion window's model driven by a recording view, no toolkit: the
// progress shown by time, "~" and relative folders, the refusals before the
// questions, finishing a stopped run, "Stop and close?", the result line and
// its details, the offers to undo a run and to recover.
#include "common/FolderLock.h"
#include "refdb/DatabaseCheck.h"
#include "refdb/DatabaseLock.h"
#include "support/TempFolder.h"
#include "window/ConversionWindow.h"
#include "window/FolderText.h"
#include "window/WindowArguments.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace norrvik {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A view that writes down what the model made it do and gives set answers.
struct RecordingView : TWindowView {
    std::vector<std::string> Log;
    bool StopAndClose = false;
    bool Recover = false;
    bool Undo = false, undoOffered = false;
    std::string Question; // the last undo question
    ResumeChoice Resume = ResumeChoice::GoBack;
    std::function<void()> OnEvents;

    void ShowWarning(const std::string& text) override { Log.push_back("warning " + text); }
    void ShowConversionFailed() override { Log.push_back("failed"); }
    FormatChoice AskFormatMismatch(const std::string&, const std::string&, const std::string&) override
    {
        Log.push_back("format?");
        return FormatChoice::AsChosen;
    }
    bool AskAddAgain(const std::string&) override { return Log.push_back("again?"), true; }
    ResumeChoice AskFinishTheRest(const std::string& text) override { return Log.push_back("finish? " + text), Resume; }
    bool AskStopAndClose() override { return Log.push_back("stop?"), StopAndClose; }
    bool AskRecover(const std::string&) override { return Log.push_back("recover?"), Recover; }
    bool AskUndo(const std::string& text) override { return Question = text, Undo; }
    void ShowFormat(int) override {}
    void ShowResultLine(const std::string& text) override { Log.push_back("line " + text); }
    void ShowDetails(const std::string& details) override
    {
        if (!details.empty())
            Log.push_back("details " + details);
    }
    void ShowUndoOffer(bool offered) override { undoOffered = offered; }
    void EnterBusy() override {}
    void LeaveBusy() override {}
    void ShowProgress(const TProgressDisplay& display) override { Log.push_back("show " + display.Text); }
    void ProcessEvents() override
    {
        if (OnEvents)
            OnEvents();
    }
    void SetWaiting(bool) override {}
    void CloseWindow() override { Log.push_back("close"); }
};

std::string Sample(const char* name)
{
    return std::string(NORRVIK_SAMPLES_DIR) + "/" + name;
}

class WindowModel : public ::testing::Test {
protected:
    // Every driver records the folders it was given, reports `reports` entries
    // and ends as `ending` says.
    TConversionWindow Model(long reports = 1, std::function<void()> ending = {})
    {
        auto driver = [this, reports, ending](const std::string& oldFolder, const std::string& newFolder,
                                              bool& success, const ProgressCallback& progress,
                                              TConversionSummary* summary) {
            folders = {oldFolder, newFolder};
            for (long i = 1; i <= reports; ++i, ++summary->Added)
                progress({TProgress::Stage::Converting, i, reports});
            summary->TargetPatternCount = summary->Added;
            if (ending)
                ending();
            success = true;
        };
        return TConversionWindow({driver, driver, driver}, view, nullptr, [this] { return now; });
    }
    TWindowChoices Choices(const std::string& target) const { return {1, temp.Text(), target}; }

    RecordingView view;
    test::TempFolder temp;
    std::pair<std::string, std::string> folders;
    Clock::time_point now{};
};

TEST_F(WindowModel, ProgressIsShownByTimeNotByCount)
{
    // 100,000 reports within one second: the first, one every 40 ms, the last.
    long shown = 0;
    TConversionWindow timed({[&](const std::string&, const std::string&, bool& success,
                                 const ProgressCallback& progress, TConversionSummary*) {
                                for (long i = 1; i <= 100'000; ++i, now += 10us)
                                    progress({TProgress::Stage::Converting, i, 100'000});
                                success = true;
                            },
                             {}, {}},
                            view, nullptr, [this] { return now; });
    timed.Convert({0, temp.Text(), temp.Text("db")});
    for (const std::string& entry : view.Log)
        shown += entry.rfind("show ", 0) == 0;
    EXPECT_GE(shown, 25);
    EXPECT_LE(shown, 27);
    EXPECT_EQ(view.Log[view.Log.size() - 2], "show Converting entry 100,000 of 100,000");
}

TEST_F(WindowModel, HomeAndRelativeFoldersAreExpandedOnce)
{
    const std::string home = temp.Text("home");
    std::filesystem::create_directories(home + "/src");
    static std::string setting; // putenv keeps the text itself
    setting = "HOME=" + home;
    ::putenv(setting.data());
    const std::string here = std::filesystem::current_path().string();
    struct Case {
        std::string Typed, Absolute;
    };
    for (const Case& c : {Case{"~", home}, Case{"~/src/", home + "/src/"}, Case{"~other", here + "/~other"},
                          Case{"/x/../y/", "/x/../y/"}, Case{"a/./b", here + "/a/b"}})
        EXPECT_EQ(AbsoluteFolderText(c.Typed), c.Absolute) << c.Typed;

    TConversionWindow model = Model();
    model.Convert({1, "~/src", "~/db"});
    EXPECT_EQ(folders, std::make_pair(home + "/src", home + "/db"));
    EXPECT_EQ(view.Log.back(), "line 1 pattern added, 0 skipped as already present; the target database now holds "
                               "1 pattern. Target database: " + home + "/db.");
    EXPECT_FALSE(std::filesystem::exists("~"));
}

TEST_F(WindowModel, RefusalsComeBeforeTheQuestions)
{
    // A Kandor folder converted as Veltro would be asked about; a target
    // another run holds, or whose database file is a folder, is refused first.
    std::filesystem::create_directories(temp.Path() / "held");
    std::filesystem::create_directories(temp.Path() / "blocked" / "ReferenceDatabase.PDB");
    const TDatabaseLock held = TDatabaseLock::Exclusive(TTypedFolder(temp.Text("held")));
    for (const char* target : {"held", "blocked"}) {
        view.Log.clear();
        TConversionWindow model = Model();
        EXPECT_THROW(model.Convert({2, Sample("kandor"), temp.Text(target)}), Exception) << target;
        EXPECT_TRUE(view.Log.size() == 1 && view.Log[0] == "line ") << target;
        EXPECT_TRUE(folders.first.empty());
    }
}

TEST_F(WindowModel, StopAndCloseAskedWhileBusy)
{
    for (bool answer : {false, true}) {
        view.Log.clear();
        view.StopAndClose = answer;
        TConversionWindow* running = nullptr;
        view.OnEvents = [&] {
            if (!running->MayClose({}))
                view.OnEvents = {};
        };
        TConversionWindow model = Model(3);
        running = &model;
        model.Convert(Choices(temp.Text("db")));
        ASSERT_EQ(view.Log.size(), 5u);
        EXPECT_EQ(view.Log[2], "stop?");
        EXPECT_EQ(view.Log[answer ? 3 : 4], answer ? "line Conversion cancelled after 1 of 3 entries; no patterns were added"
                                                    : "line 3 patterns added, 0 skipped as already present; the "
                                                      "target database now holds 3 patterns");
        EXPECT_EQ(view.Log.back() == "close", answer);
        EXPECT_TRUE(model.MayClose({}));
    }
}

TEST_F(WindowModel, ASessionEndStopsTheRunWithoutAQuestionAndCloses)
{
    TConversionWindow* running = nullptr;
    bool mayEnd = true;
    view.OnEvents = [&] { mayEnd = running->SessionEnding({}), view.OnEvents = {}; };
    TConversionWindow model = Model(3);
    running = &model;
    model.Convert(Choices(temp.Text("db")));
    EXPECT_FALSE(mayEnd);
    EXPECT_EQ(view.Log, (std::vector<std::string>{"line ", "show Converting entry 1 of 3",
                                                  "line Conversion cancelled after 1 of 3 entries; no patterns were "
                                                  "added",
                                                  "close"}));
    EXPECT_TRUE(model.SessionEnding({}));
}

TEST_F(WindowModel, ResultLineGroupsThousandsAndAnEditClearsIt)
{
    TConversionWindow model = Model(12'345);
    model.Convert(Choices(temp.Text("db")));
    EXPECT_EQ(view.Log.back(), "line 12,345 patterns added, 0 skipped as already present; the target database now "
                               "holds 12,345 patterns");
    model.FolderEdited();
    EXPECT_EQ(view.Log.back(), "line ");
}

TEST_F(WindowModel, DamagedTargetIsOfferedTheRecovery)
{
    const std::string target = temp.Text("db");
    bool success = false;
    ConvertVeltroDatabase(Sample("veltro"), target, success);
    test::WriteFile(temp.Path() / "db" / "ReferenceCode.PDB", std::string("x1\r\n"));
    ASSERT_FALSE(CheckReferenceDatabase(target).empty());
    for (bool answer : {false, true}) {
        view.Recover = answer;
        TConversionWindow model = Model(1, [] { throw Exception("The index is damaged."); });
        view.Log.clear();
        EXPECT_NO_THROW(model.Convert(Choices(target)));
        EXPECT_EQ(std::count(view.Log.begin(), view.Log.end(), "recover?"), 1);
        EXPECT_EQ(CheckReferenceDatabase(target).empty(), answer);
    }
    EXPECT_EQ(view.Log.back().rfind("line Recovered the Tessaly database in " + target + ": 5 patterns kept", 0), 0u)
        << view.Log.back();
}

TEST_F(WindowModel, AStoppedRunIsFinishedAddedAgainOrLeftAsAnswered)
{
    // A Kandor source whose last entry has no pattern file.
    const std::filesystem::path source = temp.Path() / "kandor";
    std::filesystem::copy(Sample("kandor"), source);
    std::filesystem::remove(source / "FLUORITE.di");
    const auto run = [&](const std::string& target, long cancelAt) {
        long events = 0;
        TConversionWindow model(RealConversionDrivers(), view, nullptr, [this] { return now += 50ms; });
        view.OnEvents = [&] {
            if (++events == cancelAt)
                model.RequestCancel();
        };
        view.Log.clear();
        model.Convert({1, source.string(), temp.Text(target)});
    };
    run("whole", 0);
    const auto whole = test::DatabaseBytes(temp.Path() / "whole");
    EXPECT_EQ(view.Log.back(), "details 1 entry had no pattern file and was converted without lines:\nFLUORITE");

    for (ResumeChoice answer : {ResumeChoice::FinishTheRest, ResumeChoice::AddAgain, ResumeChoice::GoBack}) {
        const std::string target = "db" + std::to_string(static_cast<int>(answer));
        run(target, 3);
        ASSERT_EQ(view.Log.back().rfind("line Conversion cancelled after 2 of 5 entries", 0), 0u) << view.Log.back();
        const auto stopped = test::DatabaseBytes(temp.Path() / target);
        view.Resume = answer;
        run(target, 0);
        ASSERT_EQ(view.Log.at(1).rfind("finish? The last run from " + source.string() + " into the Tessaly database in " +
                                       temp.Text(target) + " did not complete: run 1 on ", 0),
                  0u)
            << view.Log.at(1);
        const auto after = test::DatabaseBytes(temp.Path() / target);
        if (answer == ResumeChoice::FinishTheRest)
            EXPECT_EQ(after, whole);
        else if (answer == ResumeChoice::GoBack)
            EXPECT_EQ(after, stopped);
        else
            EXPECT_EQ(view.Log.at(view.Log.size() - 2).rfind("line 5 patterns added", 0), 0u);
    }
    // Once finished, the run is complete: the question is the one of adding again.
    run("db0", 0);
    EXPECT_EQ(std::count_if(view.Log.begin(), view.Log.end(), [](const std::string& e) { return e.starts_with("finish?"); }), 0);
    EXPECT_EQ(std::count(view.Log.begin(), view.Log.end(), "again?"), 1);
}

TEST_F(WindowModel, TheOfferedUndoPutsEveryFileBackOrSaysWhyNot)
{
    // The Quorvane sample (5 patterns) converted into an empty folder, or into
    // one that holds the Veltro sample; then the offer answered. NameGrows: a
    // byte appended to Name.PDB after the run.
    enum class Twist { None, Cancel, RunFails, NameGrows };
    const struct {
        const char* target;
        bool answer;
        Twist twist;
        const char* last; // how the window's last words begin
    } cases[]{
        {"new", true, Twist::None,
         "line Undid the conversion, which created the database: its files are deleted (5 patterns)."},
        {"existing", true, Twist::None,
         "line Undid the conversion: removed 5 patterns; the database is as it was before it."},
        {"cancelled", true, Twist::Cancel, "line Undid the conversion: removed 3 patterns;"}, // stopped after 3
        {"kept", false, Twist::None, "line 5 patterns added"},
        {"changed", true, Twist::NameGrows, "warning The database in folder "},
        {"failed", true, Twist::RunFails, "line Conversion failed"},
    };
    const auto image = [](const std::filesystem::path& folder) {
        auto files = test::DatabaseBytes(folder);
        files.erase(std::string(TFolderLock::FileInFolder())); // Windows' lock file
        return files;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.target);
        const std::filesystem::path target = temp.Path() / c.target;
        bool success = false;
        std::filesystem::create_directories(target);
        if (c.target != std::string("new"))
            ConvertVeltroDatabase(Sample("veltro"), target.string(), success);
        const auto before = image(target);
        view = RecordingView{};
        view.Undo = c.answer;
        const bool fails = c.twist == Twist::RunFails;
        TConversionWindow model = fails ? Model(1, [] { throw Exception("Disk full"); })
                                        : TConversionWindow(RealConversionDrivers(), view);
        model.SetStopRequested([&c, reports = 0]() mutable { return c.twist == Twist::Cancel && ++reports > 2; });
        const TWindowChoices choices{0, Sample("quorvane"), target.string()};
        if (fails)
            EXPECT_THROW(model.Convert(choices), Exception);
        else
            model.Convert(choices);
        ASSERT_EQ(view.undoOffered, !fails);
        if (c.twist == Twist::NameGrows)
            test::WriteFile(target / "Name.PDB", test::ReadFileText(target / "Name.PDB") + "x");
        const auto after = image(target);
        model.Undo();
        const bool undone = c.answer && !fails && c.twist != Twist::NameGrows;
        EXPECT_EQ(image(target), undone ? before : after);
        EXPECT_EQ(view.undoOffered, !c.answer && !fails); // "No" leaves the offer
        EXPECT_EQ(model.LastRun().Added, !undone && !fails && c.twist != Twist::Cancel ? 5 : 0);
        EXPECT_EQ(view.Log.back().rfind(c.last, 0), 0u) << view.Log.back();
        EXPECT_EQ(view.Question.starts_with("Undo the last conversion into " + target.string() + "? "), !fails);
    }
}

TEST(WindowArgumentsTest, FormatAndFoldersFillTheWindowQtKeepsItsOwn)
{
    using Action = TWindowArguments::Action;
    struct Case {
        std::vector<std::string> Arguments;
        Action Requested;
        int FormatIndex;
        std::vector<std::string> Folders, Toolkit;
    };
    const std::vector<Case> cases{
        {{"norrvik", "-f", "kandor", "old", "new", "-platform", "xcb"}, Action::OpenWindow, 1, {"old", "new"},
         {"norrvik", "-platform", "xcb"}},
        {{"norrvik", "--format=Veltro", "--", "-old"}, Action::OpenWindow, 2, {"-old"}, {"norrvik"}},
        {{"norrvik", "old", "--help"}, Action::ShowHelp, -1, {"old"}, {"norrvik"}},
        {{"norrvik", "--version"}, Action::ShowVersion, -1, {}, {"norrvik"}},
        {{"norrvik", "-V"}, Action::Refuse, -1, {}, {}},
        {{"norrvik", "--format"}, Action::Refuse, -1, {}, {}},
        {{"norrvik", "a", "b", "c"}, Action::Refuse, -1, {}, {}},
    };
    for (const Case& c : cases) {
        const TWindowArguments parsed = ParseWindowArguments(c.Arguments);
        EXPECT_EQ(parsed.Requested, c.Requested) << c.Arguments[1];
        EXPECT_EQ(parsed.FormatIndex, c.FormatIndex) << c.Arguments[1];
        EXPECT_EQ(parsed.Folders, c.Folders) << c.Arguments[1];
        EXPECT_EQ(parsed.ToolkitArguments, c.Toolkit) << c.Arguments[1];
        EXPECT_EQ(parsed.Refusal.empty(), c.Requested != Action::Refuse) << c.Arguments[1];
    }
}

} // namespace
} // namespace norrvik
