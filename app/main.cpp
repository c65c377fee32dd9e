// Start-up of the window program: the command line read before Qt starts
// (--help and --version need no display; unknown options are refused), the
// application with its name, desktop file name and icon, the main window
// with the real conversion drivers (it makes the help dialog once), filled
// with the format and folders given, and the message loop. An exception
// that escapes any event handler is shown in a box.
#include "app/FrmMain.h"
#include "app/StopSignalWatcher.h"
#include "app/WindowIcon.h"
#include "convert/ConversionDrivers.h"
#include "window/WindowArguments.h"

#include <QApplication>
#include <QSettings>

#include <exception>
#include <memory>
#include <optional>
#include <iostream>
#include <string>
#include <vector>

namespace {

class TNorrvikApplication : public QApplication {
public:
    using QApplication::QApplication;

    void SetMainForm(norrvik::TForm1* form) { form_ = form; }

    // The application's top-level handler for anything a handler let pass.
    bool notify(QObject* receiver, QEvent* event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& error) {
            if (form_ != nullptr)
                form_->ShowException(error);
        } catch (...) {
            if (form_ != nullptr)
                form_->ShowException(norrvik::Exception("Unknown error"));
        }
        return false;
    }

private:
    norrvik::TForm1* form_ = nullptr;
};

} // namespace

namespace {

// Answers --help, --version and refused arguments; -1 when the window is to open.
int PrintAnswer(const norrvik::TWindowArguments& arguments)
{
    const std::optional<norrvik::TWindowAnswer> answer = norrvik::AnswerWithoutWindow(arguments);
    if (!answer)
        return -1;
    std::ostream& stream = answer->IsError ? std::cerr : std::cout;
    stream << answer->Text;
    return stream.flush() ? answer->Status : 1;
}

} // namespace

int main(int argc, char** argv)
{
    const norrvik::TWindowArguments arguments = norrvik::ParseWindowArguments(std::vector<std::string>(argv, argv + argc));
    if (const int status = PrintAnswer(arguments); status >= 0)
        return status;
    // Qt gets its own options only; they live as long as the application.
    std::vector<std::string> toolkitArguments = arguments.ToolkitArguments;
    std::vector<char*> toolkitArgv;
    for (std::string& argument : toolkitArguments)
        toolkitArgv.push_back(argument.data());
    int toolkitArgc = static_cast<int>(toolkitArgv.size());
    toolkitArgv.push_back(nullptr);

    TNorrvikApplication application(toolkitArgc, toolkitArgv.data());
    QApplication::setApplicationName(QStringLiteral("Norrvik"));
    QGuiApplication::setDesktopFileName(QStringLiteral("norrvik"));
    QApplication::setWindowIcon(norrvik::WindowIcon());
    // Exit closes the main window, which ends the message loop.
    QApplication::setQuitOnLastWindowClosed(true);

    // The last format and folders are remembered in the user's settings.
    norrvik::TForm1 form(norrvik::RealConversionDrivers(), nullptr,
                         std::make_unique<QSettings>(QStringLiteral("Norrvik"), QStringLiteral("Norrvik")));
    form.SetChoices(norrvik::WithArguments(form.Choices(), arguments));
    application.SetMainForm(&form);
    // SIGTERM, SIGHUP and Ctrl-C cancel a running conversion and close the window.
    norrvik::TStopSignalWatcher stopSignals(form);
    form.show();
    const int status = QApplication::exec();
    application.SetMainForm(nullptr);
    return status;
}
