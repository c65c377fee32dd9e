// The Win32 main window: its controls, its commands and the view the model
// drives.
#include "app/win32/Win32Window.h"

#include "app/win32/ControlIds.h"
#include "app/win32/Resources.h"
#include "common/Exceptions.h"
#include "convert/Formats.h"
#include "window/FolderText.h"
#include "window/WindowTexts.h"

#include <commctrl.h>

#include <utility>

namespace norrvik::win32 {

namespace {

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kEditStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL;

// The eight input controls, in the order the busy state disables them.
constexpr std::array<int, 8> kInputControls{kBtnStart,    kBtnExit,     kBtnHelp, kBtnBrowseOld,
                                            kBtnBrowseNew, kCmbRefDBType, kEdtOldDB, kEdtNewDB};
// The busy indicator's controls, in place of the result line during a run.
constexpr std::array<int, 3> kBusyControls{kLblProgress, kBarProgress, kBtnCancel};

std::wstring TextOf(HWND control)
{
    std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The help dialog's text, a line per entry.
std::string HelpText()
{
    std::string text;
    for (const std::string& line : windowtext::HelpLines())
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

TWin32Window::TWin32Window(HINSTANCE instance, TConversionDrivers drivers)
    : instance_(instance), model_(std::move(drivers), *this, &settings_)
{
    HDC screen = ::GetDC(nullptr);
    dpi_ = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
    ::ReleaseDC(nullptr, screen);
    font_ = CreateWindowFont(dpi_);

    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TWin32Window::Procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(NORRVIK_ICON));
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kMainWindowClass;
    ::RegisterClassExW(&windowClass);

    RECT frame{0, 0, Scaled(672, dpi_), Scaled(143, dpi_)};
    ::AdjustWindowRectEx(&frame, kWindowStyle, FALSE, 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    window_ = ::CreateWindowExW(0, kMainWindowClass, Wide(windowtext::kCaption).c_str(), kWindowStyle,
                                (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr,
                                instance, this);
    if (window_ == nullptr)
        throw Exception("Cannot open the window: " + std::to_string(::GetLastError()));
    CreateControls();
    help_ = std::make_unique<TTextDialog>(instance, window_, font_, dpi_, windowtext::kHelpTitle);
    // FormCreate: the first format; then the choices of the last run.
    ShowFormat(0);
    SetChoices(model_.RememberedChoices());
}

TWin32Window::~TWin32Window()
{
    help_.reset();
    detailsDialog_.reset();
    if (window_ != nullptr && !closed_)
        ::DestroyWindow(window_);
    ::DeleteObject(font_);
}

HWND TWin32Window::MakeControl(int id, const wchar_t* kind, const char* caption, DWORD style, RECT place)
{
    HWND control = ::CreateWindowExW(std::wstring_view(kind) == L"EDIT" ? WS_EX_CLIENTEDGE : 0, kind,
                                     Wide(caption).c_str(), style, Scaled(place.left, dpi_), Scaled(place.top, dpi_),
                                     Scaled(place.right, dpi_), Scaled(place.bottom, dpi_), window_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return control;
}

void TWin32Window::CreateControls()
{
    // Made in tab order: a label's mnemonic focuses the control made after it.
    MakeControl(kLabel3, L"STATIC", windowtext::kFormatLabel, kLabelStyle, {8, 11, 222, 16});
    HWND formats = MakeControl(kCmbRefDBType, L"COMBOBOX", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL |
                                                                   CBS_DROPDOWNLIST, {232, 8, 353, 120});
    for (const TFormatInfo& format : kFormats)
        ::SendMessageW(formats, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(Wide(std::string(format.WindowLabel)).c_str()));
    MakeControl(kLabel1, L"STATIC", windowtext::kOldFolderLabel, kLabelStyle, {8, 35, 222, 16});
    MakeControl(kEdtOldDB, L"EDIT", "", kEditStyle, {232, 32, 353, 21});
    MakeControl(kBtnBrowseOld, L"BUTTON", windowtext::kBrowseOldButton, kButtonStyle, {589, 32, 75, 23});
    MakeControl(kLabel2, L"STATIC", windowtext::kNewFolderLabel, kLabelStyle, {8, 59, 222, 16});
    MakeControl(kEdtNewDB, L"EDIT", "", kEditStyle, {232, 56, 353, 21});
    MakeControl(kBtnBrowseNew, L"BUTTON", windowtext::kBrowseNewButton, kButtonStyle, {589, 56, 75, 23});
    MakeControl(kBtnHelp, L"BUTTON", windowtext::kHelpButton, kButtonStyle, {8, 112, 75, 23});
    MakeControl(kBtnStart, L"BUTTON", windowtext::kStartButton, kButtonStyle, {568, 88, 99, 23});
    MakeControl(kBtnExit, L"BUTTON", windowtext::kExitButton, kButtonStyle, {568, 112, 99, 23});
    // The result line shows its text as it stands: no mnemonics in it.
    MakeControl(kLblStatus, L"STATIC", "", kLabelStyle | SS_NOPREFIX, {232, 84, 330, 52});
    // Left of the result line, shown only while it has details.
    MakeControl(kBtnDetails, L"BUTTON", windowtext::kDetailsButton, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON,
                {132, 86, 84, 23});
    // Left of it, shown only while the last run can be undone.
    MakeControl(kBtnUndo, L"BUTTON", windowtext::kUndoButton, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON,
                {8, 86, 120, 23});
    MakeControl(kLblProgress, L"STATIC", "", WS_CHILD | SS_LEFT | SS_NOPREFIX, {232, 82, 272, 16});
    MakeControl(kBarProgress, PROGRESS_CLASSW, "", WS_CHILD, {232, 102, 188, 20});
    MakeControl(kBtnCancel, L"BUTTON", windowtext::kCancelButton, WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON,
                {429, 100, 75, 23});
}

void TWin32Window::Show(int showCommand)
{
    ::ShowWindow(window_, showCommand);
    ::UpdateWindow(window_);
    FormActivate();
}

int TWin32Window::Run()
{
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0)
        PumpMessage(message);
    return static_cast<int>(message.wParam);
}

bool TWin32Window::PumpMessage(const MSG& message)
{
    // The dialog manager gives Tab, the mnemonics, Enter and Escape their meaning.
    if (!closed_ && ::IsDialogMessageW(window_, const_cast<MSG*>(&message)))
        return true;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
    return true;
}

TWindowChoices TWin32Window::Choices() const
{
    const int format = static_cast<int>(::SendDlgItemMessageW(window_, kCmbRefDBType, CB_GETCURSEL, 0, 0));
    return {format, Utf8(TextOf(::GetDlgItem(window_, kEdtOldDB))), Utf8(TextOf(::GetDlgItem(window_, kEdtNewDB)))};
}

void TWin32Window::SetChoices(const TWindowChoices& choices)
{
    if (FormatAt(choices.FormatIndex) != nullptr)
        ShowFormat(choices.FormatIndex);
    ::SetDlgItemTextW(window_, kEdtOldDB, Wide(choices.OldFolder).c_str());
    ::SetDlgItemTextW(window_, kEdtNewDB, Wide(choices.NewFolder).c_str());
}

LRESULT CALLBACK TWin32Window::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TWin32Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<TWin32Window*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self != nullptr ? self->Handle(message, wParam, lParam) : ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT TWin32Window::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_SETCURSOR:
        if (waiting_) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // A running conversion is stopped first ("Stop and close?"); the
        // window closes once it has.
        RunCommand([this] {
            if (model_.MayClose(Choices()))
                ::DestroyWindow(window_);
        });
        return 0;
    case WM_QUERYENDSESSION:
        // A logoff or shutdown during a run: the window model stops it as
        // Cancel does, and the session waits (with the reason shown) until
        // the indexes are written and the window has closed. A session end
        // that does not wait leaves the run to the store's recovery.
        if (model_.SessionEnding(Choices()))
            return TRUE;
        ::ShutdownBlockReasonCreate(window_, Wide(windowtext::kSessionEndWaitText).c_str());
        return FALSE;
    case WM_DESTROY:
        closed_ = true;
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

void TWin32Window::OnCommand(int id, int notification)
{
    const bool busy = model_.IsBusy();
    switch (id) {
    case IDOK: // Enter: in a folder box it starts the conversion
        if (!busy && (::GetFocus() == ::GetDlgItem(window_, kEdtOldDB) ||
                      ::GetFocus() == ::GetDlgItem(window_, kEdtNewDB)))
            RunCommand([this] { model_.Convert(Choices()); });
        break;
    case IDCANCEL: // Escape cancels a running conversion
    case kBtnCancel:
        if (busy && panel_.State().CancelEnabled) {
            panel_.Cancel();
            DrawBusyPanel();
            model_.RequestCancel();
        }
        break;
    case kBtnStart:
        RunCommand([this] { model_.Convert(Choices()); });
        break;
    case kBtnExit:
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
        break;
    case kBtnHelp:
        help_->ShowModal(HelpText());
        FormActivate();
        break;
    case kBtnDetails:
        ShowDetailsDialog();
        break;
    case kBtnUndo:
        if (!busy)
            RunCommand([this] { model_.Undo(); });
        break;
    case kBtnBrowseOld:
        RunCommand([this] { BrowseInto(kLabel1, kEdtOldDB); });
        break;
    case kBtnBrowseNew:
        RunCommand([this] { BrowseInto(kLabel2, kEdtNewDB); });
        break;
    case kEdtOldDB:
    case kEdtNewDB:
        if (notification == EN_CHANGE)
            model_.FolderEdited();
        break;
    default:
        break;
    }
}

template <typename Command>
void TWin32Window::RunCommand(Command command)
{
    // No exception may leave a window procedure.
    try {
        command();
    } catch (const std::exception& error) {
        const std::string text = error.what();
        ShowMessage(window_, text.empty() ? "Unknown error" : text, "Norrvik", MB_OK | MB_ICONERROR);
        FormActivate();
    } catch (...) {
        ShowMessage(window_, "Unknown error", "Norrvik", MB_OK | MB_ICONERROR);
        FormActivate();
    }
}

void TWin32Window::BrowseInto(int labelId, int editId)
{
    // The picker's title is the label's caption as it stands, ampersand
    // included; it opens at the folder already typed.
    const std::string title = Utf8(TextOf(::GetDlgItem(window_, labelId)));
    const std::string typed = Utf8(TextOf(::GetDlgItem(window_, editId)));
    if (const std::optional<std::string> chosen = ChooseFolder(window_, title, PickerStartFolder(typed)))
        ::SetDlgItemTextW(window_, editId, Wide(*chosen).c_str());
    FormActivate();
}

void TWin32Window::FormActivate()
{
    HWND edit = ::GetDlgItem(window_, kEdtOldDB);
    if (::IsWindowEnabled(edit))
        ::SetFocus(edit);
}

void TWin32Window::ShowWarning(const std::string& text)
{
    ShowMessage(window_, text, "Warning", MB_OK | MB_ICONWARNING);
    FormActivate();
}

void TWin32Window::ShowConversionFailed()
{
    ShowMessage(window_, windowtext::kConversionFailed, windowtext::kConversionTitle, MB_OKCANCEL);
}

FormatChoice TWin32Window::AskFormatMismatch(const std::string& text, const std::string& chosen,
                                             const std::string& found)
{
    enum { kAsFound = 100, kAsChosen, kGoBack };
    const int answer = Ask(window_, {windowtext::kConversionTitle, text, windowtext::FormatQuestionDetail(found, chosen),
                                     {{kAsFound, windowtext::ConvertAsButton(found)},
                                      {kAsChosen, windowtext::ConvertAsButton(chosen)},
                                      {kGoBack, windowtext::kGoBackButton}},
                                     kAsFound, kGoBack});
    FormActivate();
    return answer == kAsFound ? FormatChoice::AsFound : answer == kAsChosen ? FormatChoice::AsChosen : FormatChoice::GoBack;
}

bool TWin32Window::AskAddAgain(const std::string& text)
{
    enum { kAddAgain = 100, kGoBack };
    const int answer = Ask(window_, {windowtext::kConversionTitle, text, windowtext::kAddAgainDetail,
                                     {{kAddAgain, windowtext::kAddAgainButton}, {kGoBack, windowtext::kGoBackButton}},
                                     kGoBack, kGoBack});
    FormActivate();
    return answer == kAddAgain;
}

ResumeChoice TWin32Window::AskFinishTheRest(const std::string& text)
{
    enum { kFinish = 100, kAddAgain, kGoBack };
    const int answer = Ask(window_, {windowtext::kConversionTitle, text, windowtext::kFinishTheRestDetail,
                                     {{kFinish, windowtext::kFinishTheRestButton},
                                      {kAddAgain, windowtext::kAddAgainButton},
                                      {kGoBack, windowtext::kGoBackButton}},
                                     kFinish, kGoBack});
    FormActivate();
    return answer == kFinish ? ResumeChoice::FinishTheRest : answer == kAddAgain ? ResumeChoice::AddAgain
                                                                                 : ResumeChoice::GoBack;
}

bool TWin32Window::AskStopAndClose()
{
    enum { kStop = 100, kKeepGoing };
    return Ask(window_, {windowtext::kStopAndCloseTitle, windowtext::kStopAndCloseText, "",
                         {{kStop, windowtext::kStopAndCloseButton}, {kKeepGoing, windowtext::kKeepConvertingButton}},
                         kKeepGoing, kKeepGoing}) == kStop;
}

bool TWin32Window::AskRecover(const std::string& text)
{
    enum { kRecover = 100, kNotNow };
    const int answer = Ask(window_, {windowtext::kConversionTitle, text, "",
                                     {{kRecover, windowtext::kRecoverButton}, {kNotNow, windowtext::kNotNowButton}},
                                     kRecover, kNotNow});
    FormActivate();
    return answer == kRecover;
}

bool TWin32Window::AskUndo(const std::string& text)
{
    const int answer =
        ShowMessage(window_, text, windowtext::kConversionTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    FormActivate();
    return answer == IDYES;
}

void TWin32Window::ShowFormat(int index)
{
    ::SendDlgItemMessageW(window_, kCmbRefDBType, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void TWin32Window::ShowResultLine(const std::string& text)
{
    ::SetDlgItemTextW(window_, kLblStatus, Wide(text).c_str());
}

void TWin32Window::ShowDetails(const std::string& details)
{
    details_ = details;
    ::ShowWindow(::GetDlgItem(window_, kBtnDetails), details_.empty() ? SW_HIDE : SW_SHOW);
}

void TWin32Window::ShowUndoOffer(bool offered)
{
    ::ShowWindow(::GetDlgItem(window_, kBtnUndo), offered ? SW_SHOW : SW_HIDE);
}

void TWin32Window::ShowDetailsDialog()
{
    if (details_.empty())
        return;
    if (!detailsDialog_)
        detailsDialog_ = std::make_unique<TTextDialog>(instance_, window_, font_, dpi_, windowtext::kDetailsTitle);
    detailsDialog_->ShowModal(Utf8(TextOf(::GetDlgItem(window_, kLblStatus))) + "\n\n" + details_);
    FormActivate();
}

void TWin32Window::DrawBusyPanel()
{
    const TBusyPanelState& state = panel_.State();
    HWND bar = ::GetDlgItem(window_, kBarProgress);
    const LONG_PTR style = ::GetWindowLongPtrW(bar, GWL_STYLE);
    const bool marquee = state.Range == 0;
    if (marquee != ((style & PBS_MARQUEE) != 0)) {
        ::SetWindowLongPtrW(bar, GWL_STYLE, marquee ? style | PBS_MARQUEE : style & ~LONG_PTR{PBS_MARQUEE});
        ::SendMessageW(bar, PBM_SETMARQUEE, marquee ? TRUE : FALSE, 30);
    }
    if (!marquee) {
        ::SendMessageW(bar, PBM_SETRANGE32, 0, state.Range);
        ::SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(state.Position), 0);
    }
    ::SetDlgItemTextW(window_, kLblProgress, Wide(state.Line).c_str());
    ::EnableWindow(::GetDlgItem(window_, kBtnCancel), state.CancelEnabled ? TRUE : FALSE);
}

void TWin32Window::EnterBusy()
{
    for (int id : kInputControls)
        ::EnableWindow(::GetDlgItem(window_, id), FALSE);
    panel_.Start();
    DrawBusyPanel();
    ::ShowWindow(::GetDlgItem(window_, kLblStatus), SW_HIDE);
    for (int id : kBusyControls)
        ::ShowWindow(::GetDlgItem(window_, id), SW_SHOW);
    ::SetFocus(::GetDlgItem(window_, kBtnCancel));
    SetWaiting(true);
}

void TWin32Window::LeaveBusy()
{
    for (int id : kInputControls)
        ::EnableWindow(::GetDlgItem(window_, id), TRUE);
    for (int id : kBusyControls)
        ::ShowWindow(::GetDlgItem(window_, id), SW_HIDE);
    ::ShowWindow(::GetDlgItem(window_, kLblStatus), SW_SHOW);
    SetWaiting(false);
    FormActivate();
}

void TWin32Window::ShowProgress(const TProgressDisplay& display)
{
    panel_.Show(display);
    DrawBusyPanel();
}

void TWin32Window::ProcessEvents()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        PumpMessage(message);
    }
}

void TWin32Window::SetWaiting(bool waiting)
{
    waiting_ = waiting;
    POINT cursor;
    ::GetCursorPos(&cursor);
    // The cursor changes at once, not only at the next move of the mouse.
    ::SetCursorPos(cursor.x, cursor.y);
    ::SetCursor(::LoadCursorW(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
}

void TWin32Window::CloseWindow()
{
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
}

} // namespace norrvik::win32
