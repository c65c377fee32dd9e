// The window's conversion against the command line's, on one source into
// fresh targets (not a test): the window is driven as a user would, with the
// real drivers, under whatever Qt platform is set (QT_QPA_PLATFORM=offscreen
// needs no display); the command line runs in-process. Prints both times,
// wall clock and processor (the latter less disturbed by other programs on
// the machine), and their ratios.
//
// Usage: norrvik_bench_window SOURCE SCRATCH [FORMAT]   (FORMAT: quorvane)
#include "app/FrmMain.h"
#include "BenchSupport.h"
#include "cli/Cli.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

namespace {

using namespace norrvik;

using bench::Timed;
using bench::Times;

Times TimeCli(const std::string& format, const std::string& source, const std::string& target)
{
    const std::string formatOption = "--format=" + format;
    const char* argv[] = {"norrvik-cli", "convert", formatOption.c_str(), source.c_str(), target.c_str()};
    std::ostringstream out;
    std::ostringstream err;
    int status = 0;
    const Times times = Timed([&] { status = RunCli(5, argv, out, err); });
    std::printf("cli:    %.3f s (processor %.3f s, exit %d) %s", times.Wall, times.Processor, status,
                out.str().c_str());
    return times;
}

Times TimeWindow(const std::string& format, const std::string& source, const std::string& target)
{
    TForm1 form(RealConversionDrivers());
    form.CmbRefDBType->setCurrentIndex(FormatIndex(*FormatByCliName(format)));
    form.EdtOldDB->setText(QString::fromStdString(source));
    form.EdtNewDB->setText(QString::fromStdString(target));
    form.show();
    QCoreApplication::processEvents();
    const Times times = Timed([&] { form.ActConversionExecute(); });
    std::printf("window: %.3f s (processor %.3f s) %s\n", times.Wall, times.Processor,
                form.lblStatus->text().toStdString().c_str());
    return times;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "Usage: norrvik_bench_window SOURCE SCRATCH [FORMAT]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const std::string source = std::filesystem::absolute(argv[1]).string();
    const std::filesystem::path scratch = argv[2];
    const std::string format = argc > 3 ? argv[3] : "quorvane";
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    const Times cli = TimeCli(format, source, (scratch / "cli").string());
    const Times window = TimeWindow(format, source, (scratch / "window").string());
    std::printf("window / cli: %.2f (processor %.2f)\n", window.Wall / cli.Wall, window.Processor / cli.Processor);
    return 0;
}
