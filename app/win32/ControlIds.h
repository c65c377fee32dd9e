// The identifiers of the Win32 main window's controls, for the window and
// for the driver that works it in tests (tests/win32/WindowDriver.cpp).
#pragma once

namespace norrvik::win32 {

enum ControlId : int {
    kLabel3 = 101,
    kCmbRefDBType,
    kLabel1,
    kEdtOldDB,
    kBtnBrowseOld,
    kLabel2,
    kEdtNewDB,
    kBtnBrowseNew,
    kBtnHelp,
    kBtnStart,
    kBtnExit,
    kLblProgress,
    kBarProgress,
    kBtnCancel,
    kLblStatus,
    kBtnDetails,
    kBtnUndo,
};

// The window class of the main window.
inline constexpr const wchar_t* kMainWindowClass = L"NorrvikMainWindow";

} // namespace norrvik::win32
