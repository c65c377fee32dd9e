// Works the Win32 main window of a running norrvik.exe from outside, as a
// person would, for tools/test-windows-window.sh: one step per call.
//
//   norrvik_window_driver wait-window   waits until the window is shown
//   norrvik_window_driver click NAME    presses start, cancel, exit, help, details or undo
//   norrvik_window_driver wait-busy     waits until a run shows its progress
//   norrvik_window_driver wait-idle     waits until no run goes on; prints the result line
//   norrvik_window_driver folders       prints the two folder boxes, one a line
//   norrvik_window_driver end-session   asks the window as a logoff would; prints "ends" or "waits"
//   norrvik_window_driver make-source FOLDER N
//                                       writes a PDF1 source of N patterns (a run of some seconds)
//   norrvik_window_driver stop-run OLD NEW
//                                       converts the Kandor database OLD into NEW, stopped after two entries
//   norrvik_window_driver wait-question waits until the window asks a question
//   norrvik_window_driver answer CAPTION
//                                       presses the button CAPTION of the question asked
//   norrvik_window_driver close-text    closes the text dialog shown (the details of a run)
//
// Exit status 0 when the step was done, 1 when it timed out or failed.
#include "app/win32/ControlIds.h"
#include "convert/Conversion.h"
#include "support/QuorvaneWriter.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

namespace {

using namespace norrvik::win32;

constexpr DWORD kTimeoutMilliseconds = 120000;

bool WaitFor(const std::function<bool()>& condition)
{
    for (DWORD waited = 0; waited < kTimeoutMilliseconds; waited += 50) {
        if (condition())
            return true;
        ::Sleep(50);
    }
    return false;
}

HWND MainWindow()
{
    HWND window = ::FindWindowW(kMainWindowClass, nullptr);
    return window != nullptr && ::IsWindowVisible(window) ? window : nullptr;
}

std::wstring TextOf(HWND window, int id)
{
    wchar_t text[4096] = {};
    ::SendDlgItemMessageW(window, id, WM_GETTEXT, sizeof(text) / sizeof(text[0]), reinterpret_cast<LPARAM>(text));
    return text;
}

void PrintLine(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                          nullptr);
    std::printf("%s\n", utf8.c_str());
    std::fflush(stdout);
}

bool Enabled(HWND window, int id)
{
    return ::IsWindowEnabled(::GetDlgItem(window, id)) != FALSE;
}

int Click(HWND window, const std::wstring& name)
{
    const int id = name == L"start" ? kBtnStart : name == L"cancel" ? kBtnCancel : name == L"exit" ? kBtnExit
                 : name == L"help"  ? kBtnHelp
                 : name == L"details" ? kBtnDetails
                 : name == L"undo"    ? kBtnUndo
                                    : 0;
    if (id == 0 || !Enabled(window, id)) {
        std::fprintf(stderr, "no enabled button of that name\n");
        return 1;
    }
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
    return 0;
}

// N reference patterns (norrvik::test::ManyQuorvanePatterns).
int MakeSource(const std::filesystem::path& folder, long count)
{
    norrvik::test::WriteQuorvaneDatabase(folder, norrvik::test::ManyQuorvanePatterns(count));
    return 0;
}

int StopRun(const std::wstring& oldFolder, const std::wstring& newFolder)
{
    bool success = false;
    try {
        norrvik::ConvertKandorDatabase(std::filesystem::path(oldFolder).string(),
                                       std::filesystem::path(newFolder).string(), success,
                                       [](const norrvik::TProgress& progress) {
                                           if (progress.CurrentStage == norrvik::TProgress::Stage::Converting &&
                                               progress.Done == 2)
                                               throw norrvik::EConversionCancelled("Stopped");
                                       });
    } catch (const norrvik::EConversionCancelled&) {
        return 0;
    }
    return 1;
}

// The shown top-level window of `className` that `owner` owns, or null.
HWND OwnedWindow(HWND owner, const wchar_t* className)
{
    struct Search {
        HWND Owner;
        const wchar_t* ClassName;
        HWND Found;
    } search{owner, className, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            wchar_t name[64] = {};
            ::GetClassNameW(window, name, 64);
            if (::IsWindowVisible(window) && ::GetWindow(window, GW_OWNER) == s->Owner &&
                std::wcscmp(name, s->ClassName) == 0)
                s->Found = window;
            return s->Found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// Presses the button of the question shown whose caption is `caption`.
int Answer(HWND question, const std::wstring& caption)
{
    std::pair<const std::wstring*, HWND> search{&caption, nullptr};
    ::EnumChildWindows(
        question,
        [](HWND child, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<std::pair<const std::wstring*, HWND>*>(data);
            wchar_t text[256] = {};
            ::GetWindowTextW(child, text, 256);
            if (*s->first == text)
                s->second = child;
            return s->second == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.second == nullptr)
        return 1;
    ::PostMessageW(search.second, BM_CLICK, 0, 0);
    return 0;
}

// WM_QUERYENDSESSION as the system sends it at a logoff.
int EndSession(HWND window)
{
    DWORD_PTR answer = 0;
    if (::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 5000, &answer) == 0)
        return 1;
    std::printf("%s\n", answer != 0 ? "ends" : "waits");
    std::fflush(stdout);
    return 0;
}

int Step(const std::wstring& step, const std::wstring& argument, const std::wstring& count)
{
    if (step == L"make-source")
        return MakeSource(argument, std::wcstol(count.c_str(), nullptr, 10));
    if (step == L"stop-run")
        return StopRun(argument, count);
    HWND window = nullptr;
    if (!WaitFor([&] { return (window = MainWindow()) != nullptr; }))
        return 1;
    if (step == L"wait-window")
        return 0;
    if (step == L"click")
        return Click(window, argument);
    if (step == L"wait-busy")
        return WaitFor([&] { return !Enabled(window, kBtnStart) && TextOf(window, kLblProgress).find(L" of ") !=
                                                                       std::wstring::npos; })
                   ? 0
                   : 1;
    if (step == L"wait-idle") {
        if (!WaitFor([&] { return Enabled(window, kBtnStart); }))
            return 1;
        PrintLine(TextOf(window, kLblStatus));
        return 0;
    }
    if (step == L"end-session")
        return EndSession(window);
    HWND dialog = nullptr;
    if (step == L"wait-question" || step == L"answer") {
        if (!WaitFor([&] { return (dialog = OwnedWindow(window, L"#32770")) != nullptr; }))
            return 1;
        return step == L"answer" ? Answer(dialog, argument) : 0;
    }
    if (step == L"close-text") {
        if (!WaitFor([&] { return (dialog = OwnedWindow(window, L"NorrvikText")) != nullptr; }))
            return 1;
        ::PostMessageW(dialog, WM_CLOSE, 0, 0);
        return 0;
    }
    if (step == L"folders") {
        PrintLine(TextOf(window, kEdtOldDB));
        PrintLine(TextOf(window, kEdtNewDB));
        return 0;
    }
    std::fprintf(stderr, "unknown step\n");
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 1;
    return Step(argv[1], argc > 2 ? argv[2] : L"", argc > 3 ? argv[3] : L"");
}
