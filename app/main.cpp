// Start-up of the window program: the application, the main window with the
// real conversion drivers (it makes the help dialog once), and the message
// loop. An exception that escapes any event handler is shown in a box.
#include "app/FrmMain.h"
#include "app/StopSignalWatcher.h"
#include "common/Version.h"
#include "convert/ConversionDrivers.h"

#include <QApplication>
#include <QSettings>

#include <cstring>
#include <exception>
#include <memory>
#include <iostream>

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

int main(int argc, char** argv)
{
    // Answered before the application exists, so that it needs no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::cout << "norrvik " << norrvik::kVersion << '\n';
            return std::cout.flush() ? 0 : 1;
        }
    }
    TNorrvikApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Norrvik"));
    // Exit closes the main window, which ends the message loop.
    QApplication::setQuitOnLastWindowClosed(true);

    // The last format and folders are remembered in the user's settings.
    norrvik::TForm1 form(norrvik::RealConversionDrivers(), nullptr,
                         std::make_unique<QSettings>(QStringLiteral("Norrvik"), QStringLiteral("Norrvik")));
    application.SetMainForm(&form);
    // SIGTERM, SIGHUP and Ctrl-C cancel a running conversion and close the window.
    norrvik::TStopSignalWatcher stopSignals(form);
    form.show();
    const int status = QApplication::exec();
    application.SetMainForm(nullptr);
    return status;
}
