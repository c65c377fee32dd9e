// The dialogs of the Win32 window: message boxes, the questions with their
// own buttons (task dialogs), the folder picker, and the dialogs of a
// read-only text (the help, the details of a run); and the font and pixel
// scale the windows share. Texts are UTF-8.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace norrvik::win32 {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// A length in pixels at 96 dots per inch, for the window's dots per inch.
int Scaled(int pixels, UINT dpi);
// MS Sans Serif, 8 point, at the window's dots per inch (the caller owns it).
HFONT CreateWindowFont(UINT dpi);

// A message box (MB_ flags); the button pressed.
int ShowMessage(HWND owner, const std::string& text, const std::string& title, UINT flags);

struct TQuestionButton {
    int Id;
    std::string Caption; // with its mnemonic ("&Add again")
};
struct TQuestion {
    std::string Title;
    std::string Text;
    std::string Detail; // below the text; may be empty
    std::vector<TQuestionButton> Buttons;
    int DefaultId;
    int EscapeId; // the answer of Escape and of the close box
};
// Asks `question`; the id of the button pressed.
int Ask(HWND owner, const TQuestion& question);

// The shell's folder picker titled `title`, opened at `startFolder` (the
// shell's choice when empty); the chosen folder, or nothing on Cancel.
std::optional<std::string> ChooseFolder(HWND owner, const std::string& title, const std::string& startFolder);

// A dialog of a read-only text with a Close button (the help, the details
// of a run): made once, hidden, and shown modally each time.
class TTextDialog {
public:
    TTextDialog(HINSTANCE instance, HWND owner, HFONT font, UINT dpi, const std::string& title);
    ~TTextDialog();
    TTextDialog(const TTextDialog&) = delete;
    TTextDialog& operator=(const TTextDialog&) = delete;

    // `text`'s lines end in "\n".
    void ShowModal(const std::string& text);

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND owner_;
    HWND window_ = nullptr;
    HWND memo_ = nullptr;
    bool shown_ = false;
};

// Runs the message loop of a modal window while `open` is true; a quit
// message met on the way is passed on to the outer loop.
void RunModalLoop(HWND dialog, const bool& open);

} // namespace norrvik::win32
