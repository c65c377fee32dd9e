// Start-up of the window program on Windows: the command line read before
// any window (--help and --version answered on the console the program was
// started from, or in a box when there is none; unknown options refused),
// COM and the common controls, the main window with the real conversion
// drivers, filled with the format and folders given, and the message loop.
#include "app/win32/Win32Dialogs.h"
#include "app/win32/Win32Window.h"
#include "common/Exceptions.h"
#include "common/Platform.h"
#include "convert/ConversionDrivers.h"
#include "window/WindowArguments.h"

#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <exception>
#include <optional>
#include <string>

namespace {

// Writes `text` where a console program would (the platform layer), or,
// when there is nowhere to write, into a message box.
void Say(const std::string& text, bool isError)
{
    if (!norrvik::WriteToStandardStream(text, isError))
        norrvik::win32::ShowMessage(nullptr, text, "Norrvik", MB_OK | (isError ? MB_ICONERROR : MB_ICONINFORMATION));
}

// COM for the folder picker, for as long as the program runs.
class TComApartment {
public:
    TComApartment() : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~TComApartment()
    {
        if (initialised_)
            ::CoUninitialize();
    }
    TComApartment(const TComApartment&) = delete;
    TComApartment& operator=(const TComApartment&) = delete;

private:
    bool initialised_;
};

int OpenWindow(HINSTANCE instance, int showCommand, const norrvik::TWindowArguments& arguments)
{
    TComApartment com;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    norrvik::win32::TWin32Window window(instance, norrvik::RealConversionDrivers());
    window.SetChoices(norrvik::WithArguments(window.Choices(), arguments));
    window.Show(showCommand);
    return window.Run();
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    const norrvik::TWindowArguments arguments =
        norrvik::ParseWindowArguments(norrvik::CommandLineArguments(0, nullptr));
    if (const std::optional<norrvik::TWindowAnswer> answer =
            norrvik::AnswerWithoutWindow(arguments, /*withToolkitOptions=*/false)) {
        Say(answer->Text, answer->IsError);
        return answer->Status;
    }
    try {
        return OpenWindow(instance, showCommand, arguments);
    } catch (const std::exception& error) {
        norrvik::win32::ShowMessage(nullptr, error.what(), "Norrvik", MB_OK | MB_ICONERROR);
        return 1;
    }
}
