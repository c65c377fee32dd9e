// Times the pattern browser on a large database (not a test), as a user
// meets it: opening it with its first screen of rows painted, ordering the
// list by names and by formula, scrolling to the middle and page by page, a
// name search and ordering its hits, and the whole list again. Each step
// ends with the list painted, so the model's reads for the rows shown are
// in it. Prints wall clock and processor time (the latter less disturbed by
// other programs on the machine) of each step, for each round.
//
// Usage: norrvik_bench_browser DB [ROUNDS] [NAME]   (under any Qt platform;
// QT_QPA_PLATFORM=offscreen needs no display). The database may come from
// norrvik_bench_convert FOLDER search=400000 (FOLDER/large-400000).
#include "app/FrmBrowser.h"
#include "app/PatternListModel.h"
#include "BenchSupport.h"

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace norrvik;

using bench::Timed;
using bench::Times;

// Lets the window handle what the step queued, then paints the list now.
void Painted(TFrmBrowser& browser)
{
    QCoreApplication::processEvents();
    browser.tblPatterns->viewport()->repaint();
}

void Report(const char* step, const Times& times)
{
    std::printf("  %-34s %9.1f ms wall %9.1f ms processor\n", step, 1000.0 * times.Wall, 1000.0 * times.Processor);
}

void Round(const std::string& folder, const QString& name)
{
    std::unique_ptr<TFrmBrowser> browser;
    Report("open, first rows painted", Timed([&] {
               browser = std::make_unique<TFrmBrowser>();
               browser->OpenDatabase(folder);
               browser->show();
               Painted(*browser);
           }));
    QTableView& table = *browser->tblPatterns;
    const auto sortBy = [&](int column) {
        table.sortByColumn(column, Qt::AscendingOrder);
        Painted(*browser);
    };
    Report("order by names", Timed([&] { sortBy(TPatternListModel::ColumnNames); }));
    Report("order by formula", Timed([&] { sortBy(TPatternListModel::ColumnFormula); }));
    Report("order by code", Timed([&] { sortBy(TPatternListModel::ColumnCode); }));
    Report("scroll to the middle", Timed([&] {
               table.verticalScrollBar()->setValue(table.verticalScrollBar()->maximum() / 2);
               Painted(*browser);
           }));
    constexpr int kPages = 20;
    const Times pages = Timed([&] {
        for (int page = 0; page < kPages; ++page) {
            table.verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepAdd);
            Painted(*browser);
        }
    });
    Report("one page down (mean of 20)", {pages.Wall / kPages, pages.Processor / kPages});
    Report("search the names", Timed([&] {
               browser->edtSearch->setText(name);
               browser->RunSearch();
               Painted(*browser);
           }));
    Report("order the hits by formula", Timed([&] { sortBy(TPatternListModel::ColumnFormula); }));
    Report("all patterns again", Timed([&] {
               browser->ShowAll();
               Painted(*browser);
           }));
    Report("close", Timed([&] { browser.reset(); }));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: norrvik_bench_browser DB [ROUNDS] [NAME]\n");
        return 2;
    }
    QApplication application(argc, argv);
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    const QString name = QString::fromLocal8Bit(argc > 3 ? argv[3] : "al");
    try {
        for (int round = 1; round <= rounds; ++round) {
            std::printf("round %d\n", round);
            Round(argv[1], name);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
