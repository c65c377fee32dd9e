// Takes screenshots of the pattern browser: opens it on a Tessaly database,
// and writes <prefix>-list.png (all patterns), <prefix>-search.png (a name
// search) and <prefix>-plot.png (a strongest-lines search, the plot against
// 2θ for copper). Run under a virtual X server by tools/browser-screenshots.sh.
//
// Usage: norrvik_browser_screenshots DB PREFIX NAME LINES
#include "app/FrmBrowser.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

#include <iostream>

namespace {

void Save(QWidget& window, const std::string& file)
{
    QTest::qWait(300);
    window.grab().save(QString::fromStdString(file));
    std::cout << file << '\n';
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::cerr << "Usage: norrvik_browser_screenshots DB PREFIX NAME LINES\n";
        return 2;
    }
    QApplication application(argc, argv);
    norrvik::TFrmBrowser browser;
    try {
        browser.OpenDatabase(argv[1]);
        browser.show();
        const std::string prefix = argv[2];
        Save(browser, prefix + "-list.png");
        browser.edtSearch->setText(QString::fromLocal8Bit(argv[3]));
        browser.RunSearch();
        Save(browser, prefix + "-search.png");
        browser.cmbField->setCurrentIndex(browser.cmbField->count() - 1);
        browser.edtSearch->setText(QString::fromLocal8Bit(argv[4]));
        browser.RunSearch();
        browser.cmbAxis->setCurrentIndex(1);
        Save(browser, prefix + "-plot.png");
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 1;
    }
    return 0;
}
