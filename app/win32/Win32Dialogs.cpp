// Message boxes, task-dialog questions, the folder picker and the help
// dialog of the Win32 window.
#include "app/win32/Win32Dialogs.h"

#include "common/windows/WidePaths.h"
#include "window/WindowTexts.h"

#include <commctrl.h>
#include <shobjidl.h>

namespace norrvik::win32 {

namespace {

constexpr const wchar_t* kTextDialogClass = L"NorrvikText";

// A COM interface pointer released at the end of its scope.
template <typename T>
class TComPtr {
public:
    TComPtr() = default;
    ~TComPtr()
    {
        if (pointer_ != nullptr)
            pointer_->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T** Out() { return &pointer_; }
    T* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    T* Get() const { return pointer_; }

private:
    T* pointer_ = nullptr;
};

// The lines of `text` as an edit control shows them, ended in "\r\n".
std::wstring EditText(const std::string& text)
{
    std::wstring edit;
    for (const wchar_t c : Wide(text))
        edit += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    return edit;
}

RECT WindowRectForClient(int width, int height, DWORD style, UINT dpi)
{
    RECT rect{0, 0, Scaled(width, dpi), Scaled(height, dpi)};
    ::AdjustWindowRectEx(&rect, style, FALSE, WS_EX_DLGMODALFRAME);
    return rect;
}

} // namespace

std::wstring Wide(const std::string& utf8)
{
    return windows::WideFromUtf8(utf8);
}

std::string Utf8(const std::wstring& wide)
{
    return windows::Utf8FromWide(wide);
}

int Scaled(int pixels, UINT dpi)
{
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}

HFONT CreateWindowFont(UINT dpi)
{
    return ::CreateFontW(-::MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                         DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
}

int ShowMessage(HWND owner, const std::string& text, const std::string& title, UINT flags)
{
    return ::MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), flags);
}

int Ask(HWND owner, const TQuestion& question)
{
    const std::wstring title = Wide(question.Title), text = Wide(question.Text), detail = Wide(question.Detail);
    std::vector<std::wstring> captions;
    for (const TQuestionButton& button : question.Buttons)
        captions.push_back(Wide(button.Caption));
    std::vector<TASKDIALOG_BUTTON> buttons;
    for (std::size_t i = 0; i < captions.size(); ++i)
        buttons.push_back({question.Buttons[i].Id, captions[i].c_str()});

    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof(config);
    config.hwndParent = owner;
    config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
    config.pszWindowTitle = title.c_str();
    config.pszMainIcon = TD_INFORMATION_ICON;
    config.pszMainInstruction = text.c_str();
    config.pszContent = detail.empty() ? nullptr : detail.c_str();
    config.cButtons = static_cast<UINT>(buttons.size());
    config.pButtons = buttons.data();
    config.nDefaultButton = question.DefaultId;
    int pressed = 0;
    if (FAILED(::TaskDialogIndirect(&config, &pressed, nullptr, nullptr)) || pressed == IDCANCEL)
        return question.EscapeId;
    return pressed;
}

std::optional<std::string> ChooseFolder(HWND owner, const std::string& title, const std::string& startFolder)
{
    TComPtr<IFileOpenDialog> dialog;
    if (FAILED(::CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(dialog.Out()))))
        return std::nullopt;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
    dialog->SetTitle(Wide(title).c_str());
    if (!startFolder.empty()) {
        TComPtr<IShellItem> start;
        if (SUCCEEDED(::SHCreateItemFromParsingName(Wide(startFolder).c_str(), nullptr, IID_PPV_ARGS(start.Out()))))
            dialog->SetFolder(start.Get());
    }
    TComPtr<IShellItem> chosen;
    if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(chosen.Out())))
        return std::nullopt;
    PWSTR path = nullptr;
    if (FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path)))
        return std::nullopt;
    std::string folder = Utf8(path);
    ::CoTaskMemFree(path);
    return folder;
}

TTextDialog::TTextDialog(HINSTANCE instance, HWND owner, HFONT font, UINT dpi, const std::string& title)
    : owner_(owner)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &TTextDialog::Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = ::GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kTextDialogClass;
    ::RegisterClassExW(&windowClass); // fails harmlessly for the second dialog: the class is there

    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    const RECT frame = WindowRectForClient(639, 413, kStyle, dpi);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    window_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kTextDialogClass, Wide(title).c_str(), kStyle,
                                (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, owner, nullptr,
                                instance, nullptr);
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    memo_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_READONLY |
                                  ES_AUTOVSCROLL,
                              Scaled(8, dpi), Scaled(8, dpi), Scaled(625, dpi), Scaled(369, dpi), window_, nullptr,
                              instance, nullptr);
    HWND close = ::CreateWindowExW(0, L"BUTTON", Wide(windowtext::kCloseButton).c_str(),
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, Scaled(560, dpi),
                                   Scaled(384, dpi), Scaled(75, dpi), Scaled(23, dpi), window_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
    for (HWND control : {memo_, close})
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

TTextDialog::~TTextDialog()
{
    if (window_ != nullptr)
        ::DestroyWindow(window_);
}

void TTextDialog::ShowModal(const std::string& text)
{
    ::SetWindowTextW(memo_, EditText(text).c_str());
    shown_ = true;
    ::EnableWindow(owner_, FALSE);
    ::ShowWindow(window_, SW_SHOW);
    ::SetFocus(::GetDlgItem(window_, IDOK));
    RunModalLoop(window_, shown_);
    ::EnableWindow(owner_, TRUE);
    ::ShowWindow(window_, SW_HIDE);
    ::SetActiveWindow(owner_);
}

LRESULT CALLBACK TTextDialog::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* dialog = reinterpret_cast<TTextDialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    // Close, Return, Escape and the close box all end the dialog alike.
    const bool closing = message == WM_CLOSE ||
                         (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL));
    if (closing && dialog != nullptr) {
        dialog->shown_ = false;
        return 0;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void RunModalLoop(HWND dialog, const bool& open)
{
    MSG message;
    while (open) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got < 0)
            return;
        if (!::IsDialogMessageW(dialog, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
}

} // namespace norrvik::win32
