// The main window on Windows, drawn with the Win32 API and its common
// controls: a second view of the conversion window's model
// (window/ConversionWindow.h), as the Qt window is on Linux. The model
// decides what is checked and asked, runs the conversion and words the
// result line; this window draws it, asks its questions with task dialogs
// (the Yes/No before an undo with a message box) and keeps the remembered
// choices in the registry.
#pragma once

#include "app/win32/Win32Dialogs.h"
#include "app/win32/Win32Settings.h"
#include "convert/ConversionDrivers.h"
#include "window/BusyPanel.h"
#include "window/ConversionWindow.h"
#include "window/WindowView.h"

#include <windows.h>

#include <array>
#include <exception>
#include <memory>

namespace norrvik::win32 {

class TWin32Window : private TWindowView {
public:
    TWin32Window(HINSTANCE instance, TConversionDrivers drivers);
    ~TWin32Window() override;
    TWin32Window(const TWin32Window&) = delete;
    TWin32Window& operator=(const TWin32Window&) = delete;

    // The format and folders as they stand in the window.
    TWindowChoices Choices() const;
    void SetChoices(const TWindowChoices& choices);
    void Show(int showCommand);
    // The message loop, until the window is closed; the exit status.
    int Run();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND MakeControl(int id, const wchar_t* kind, const char* caption, DWORD style, RECT place);
    void OnCommand(int id, int notification);
    // Runs a command; an exception it raises is shown in the error box.
    template <typename Command>
    void RunCommand(Command command);
    void BrowseInto(int labelId, int editId);
    void ShowDetailsDialog();
    void FormActivate();
    void DrawBusyPanel();
    bool PumpMessage(const MSG& message);

    // The view the model drives.
    void ShowWarning(const std::string& text) override;
    void ShowConversionFailed() override;
    FormatChoice AskFormatMismatch(const std::string& text, const std::string& chosen,
                                   const std::string& found) override;
    bool AskAddAgain(const std::string& text) override;
    ResumeChoice AskFinishTheRest(const std::string& text) override;
    bool AskStopAndClose() override;
    bool AskRecover(const std::string& text) override;
    bool AskUndo(const std::string& text) override;
    void ShowFormat(int index) override;
    void ShowResultLine(const std::string& text) override;
    void ShowDetails(const std::string& details) override;
    void ShowUndoOffer(bool offered) override;
    void EnterBusy() override;
    void LeaveBusy() override;
    void ShowProgress(const TProgressDisplay& display) override;
    void ProcessEvents() override;
    void SetWaiting(bool waiting) override;
    void CloseWindow() override;

    HINSTANCE instance_;
    HWND window_ = nullptr;
    UINT dpi_ = 96;
    HFONT font_ = nullptr;
    TRegistrySettings settings_;
    TConversionWindow model_;
    TBusyPanel panel_;
    std::unique_ptr<TTextDialog> help_;
    // The details of the last run (empty for none) and their dialog, made
    // when first shown.
    std::string details_;
    std::unique_ptr<TTextDialog> detailsDialog_;
    bool waiting_ = false;
    bool closed_ = false;
};

} // namespace norrvik::win32
