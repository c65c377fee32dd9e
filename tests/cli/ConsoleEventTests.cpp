// norrvik-cli.exe as a separate process on Windows: Ctrl-C, Ctrl-Break and a
// closed console window stop a conversion after the current entry, with the
// exit status convert's help gives for each, a database that verifies and
// holds the patterns of an uninterrupted run up to there. The run has a
// console of its own (the test program may have none to share), and each
// event comes the way the system brings it: Ctrl-C and Ctrl-Break through
// GenerateConsoleCtrlEvent from a process of that console (Ctrl-Break by a
// thread of the console host's kind where the system does not generate it:
// Wine), a closed window as the console host sends it, a thread started in
// the process at CtrlRoutine, which runs the process's handlers. (POSIX:
// SignalAndLockTests.cpp.)
#include "CliRun.h"
#include "common/Platform.h"
#include "refdb/PatternLayout.h"
#include "support/QuorvaneWriter.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace norrvik {
namespace {

namespace fs = std::filesystem;
using test::RunCommand;

constexpr long kEntries = 2000;
constexpr std::uintmax_t kRecordsBeforeTheEvent = 20;
constexpr DWORD kRunTimeoutMilliseconds = 60000;

// How an event reaches the run.
enum class Delivery {
    Console,       // GenerateConsoleCtrlEvent from a process attached to the run's console
    ConsoleOrHost, // so where the system generates the event, otherwise as the console host does
    Host,          // a thread in the process at CtrlRoutine, as the console host starts it
};

struct ConsoleEvent {
    DWORD Event;
    const char* Name;
    Delivery Delivery;
    int ExitStatus; // as convert's help lists it (StopExitStatusesText)
};

// Test output names the event.
void PrintTo(const ConsoleEvent& event, std::ostream* out)
{
    *out << event.Name;
}

std::wstring Quoted(const fs::path& path)
{
    return L"\"" + path.wstring() + L"\"";
}

// A file for a child's standard output or error.
HANDLE InheritableFile(const fs::path& path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
}

// A child process, ended when the test leaves it running.
struct Child {
    PROCESS_INFORMATION Info{};
    ~Child()
    {
        if (Info.hProcess == nullptr)
            return;
        if (::WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT)
            ::TerminateProcess(Info.hProcess, 1);
        ::CloseHandle(Info.hThread);
        ::CloseHandle(Info.hProcess);
    }
    // The exit status, -1 when the process did not end in time.
    int ExitStatus(DWORD milliseconds = kRunTimeoutMilliseconds) const
    {
        DWORD status = 0;
        if (::WaitForSingleObject(Info.hProcess, milliseconds) != WAIT_OBJECT_0 ||
            !::GetExitCodeProcess(Info.hProcess, &status))
            return -1;
        return static_cast<int>(status);
    }
};

// Starts `program` with `arguments`; its output goes to `out` and `err` when given.
std::unique_ptr<Child> Start(const fs::path& program, const std::vector<std::wstring>& arguments, DWORD flags,
                             const fs::path& out = {}, const fs::path& err = {})
{
    std::wstring line = Quoted(program);
    for (const std::wstring& argument : arguments)
        line += L" " + argument;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!out.empty()) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = InheritableFile(out);
        startup.hStdError = InheritableFile(err);
    }
    auto child = std::make_unique<Child>();
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, !out.empty(), flags, nullptr,
                                          nullptr, &startup, &child->Info);
    if (!out.empty()) {
        ::CloseHandle(startup.hStdOutput);
        ::CloseHandle(startup.hStdError);
    }
    return started ? std::move(child) : nullptr;
}

// GenerateConsoleCtrlEvent from a helper attached to the run's console; the
// helper's status (0: sent, 3: the system refused the event).
int SendThroughTheConsole(const ConsoleEvent& event, const Child& run)
{
    const std::unique_ptr<Child> sender =
        Start(fs::absolute(NORRVIK_EVENT_SENDER),
              {std::to_wstring(run.Info.dwProcessId), std::to_wstring(event.Event)}, DETACHED_PROCESS);
    return sender != nullptr ? sender->ExitStatus() : -1;
}

// What the console host does for every event: a thread in the process at
// CtrlRoutine (kernel32 lies at one address in every process).
bool SendAsTheConsoleHost(const ConsoleEvent& event, const Child& run)
{
    const auto routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine")));
    if (routine == nullptr)
        return false;
    HANDLE thread = ::CreateRemoteThread(run.Info.hProcess, nullptr, 0, routine,
                                         reinterpret_cast<void*>(static_cast<ULONG_PTR>(event.Event)), 0, nullptr);
    if (thread == nullptr)
        return false;
    ::WaitForSingleObject(thread, 1000); // the handlers have run (a closed window's waits for the end)
    ::CloseHandle(thread);
    return true;
}

bool Deliver(const ConsoleEvent& event, const Child& run)
{
    if (event.Delivery != Delivery::Host) {
        const int sent = SendThroughTheConsole(event, run);
        if (sent == 0 || event.Delivery == Delivery::Console || sent != 3)
            return sent == 0;
    }
    return SendAsTheConsoleHost(event, run);
}

// Waits until the target's main data file holds `records` pattern records.
bool WaitForRecords(const fs::path& target, std::uintmax_t records)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kRunTimeoutMilliseconds);
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code missing;
        if (fs::file_size(target / "ReferenceDatabase.PDB", missing) >= (records + 1) * kPatternRecordSize &&
            !missing)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

class CliConsoleEvent : public ::testing::TestWithParam<ConsoleEvent> {
protected:
    // One source and its uninterrupted conversion for every event.
    static void SetUpTestSuite()
    {
        folder_ = new test::TempFolder;
        test::WriteQuorvaneDatabase(folder_->Path() / "old", test::ManyQuorvanePatterns(kEntries));
        const test::CliResult whole =
            RunCommand({"convert", "--format", "quorvane", folder_->Text("old"), folder_->Text("whole")});
        ASSERT_EQ(whole.Status, 0) << whole.Err;
    }
    static void TearDownTestSuite() { delete folder_; }

    static test::TempFolder* folder_;
};

test::TempFolder* CliConsoleEvent::folder_ = nullptr;

TEST_P(CliConsoleEvent, StopsAfterTheCurrentEntryWithASoundPrefixOfTheWholeRun)
{
    const ConsoleEvent& event = GetParam();
    test::TempFolder temp;
    const fs::path target = temp.Path() / "new";
    const std::unique_ptr<Child> run =
        Start(fs::absolute(NORRVIK_CLI_PROGRAM),
              {L"convert", L"--format", L"quorvane", Quoted(folder_->Path() / "old"), Quoted(target)},
              CREATE_NEW_CONSOLE, temp.Path() / "out", temp.Path() / "err");
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(WaitForRecords(target, kRecordsBeforeTheEvent));
    // The run's main thread, where it converts, is held while the event is
    // sent, so that the run cannot end first however fast the machine is.
    ASSERT_NE(::SuspendThread(run->Info.hThread), static_cast<DWORD>(-1));
    const bool sent = Deliver(event, *run);
    ::ResumeThread(run->Info.hThread);
    ASSERT_TRUE(sent) << "the event was not sent";

    EXPECT_EQ(run->ExitStatus(), event.ExitStatus) << "the run ended before the event, or was ended by it";
    const std::string out = test::ReadFileText(temp.Path() / "out");
    EXPECT_EQ(out.rfind("Conversion cancelled after ", 0), 0u) << out;
    EXPECT_NE(out.find(" of " + std::to_string(kEntries) + " entries"), std::string::npos) << out;
    const test::CliResult verify = RunCommand({"verify", PathText(target)});
    EXPECT_EQ(verify.Status, 0) << verify.Out << verify.Err;

    // The pattern records are those of the uninterrupted run, up to where it stopped.
    const std::vector<std::uint8_t> stopped = test::ReadFile(target / "ReferenceDatabase.PDB");
    const std::vector<std::uint8_t> whole = test::ReadFile(folder_->Path() / "whole" / "ReferenceDatabase.PDB");
    ASSERT_GE(stopped.size(), (kRecordsBeforeTheEvent + 1) * kPatternRecordSize);
    ASSERT_LT(stopped.size(), whole.size());
    EXPECT_EQ(stopped.size() % kPatternRecordSize, 0u);
    EXPECT_TRUE(std::equal(stopped.begin() + kPatternRecordSize, stopped.end(), whole.begin() + kPatternRecordSize));
}

INSTANTIATE_TEST_SUITE_P(
    Events, CliConsoleEvent,
    ::testing::Values(ConsoleEvent{CTRL_C_EVENT, "CtrlC", Delivery::Console, 130},
                      ConsoleEvent{CTRL_BREAK_EVENT, "CtrlBreak", Delivery::ConsoleOrHost, 149},
                      ConsoleEvent{CTRL_CLOSE_EVENT, "ConsoleClosed", Delivery::Host, 143}),
    [](const ::testing::TestParamInfo<ConsoleEvent>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace norrvik
