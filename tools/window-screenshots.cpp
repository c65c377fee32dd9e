// Takes screenshots of the main window finishing a stopped run: a Kandor
// source is converted into TARGET and stopped after its second entry, then
// the window converts it again. It writes <prefix>-question.png (the
// question naming the stopped run, answered "Finish the rest"),
// <prefix>-window.png (the result line with its Details button) and
// <prefix>-details.png (the details box, expanded); then <prefix>-undo.png
// (the question before the run is undone, answered Yes) and
// <prefix>-undone.png (the window after it). Run under a virtual X server by
// tools/window-screenshots.sh.
//
// Usage: norrvik_window_screenshots KANDOR_SOURCE TARGET PREFIX
#include "app/FrmMain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <iostream>

namespace {

// Saves the dialog that is open once the loop runs, then presses its button
// whose caption starts with `press`.
void SaveDialogThenPress(const std::string& file, const QString& press, const QString& expandFirst = {})
{
    QTimer::singleShot(500, [file, press, expandFirst] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            std::cerr << "no dialog open for " << file << '\n';
            return;
        }
        for (QAbstractButton* button : box->buttons())
            if (!expandFirst.isEmpty() && button->text().startsWith(expandFirst))
                button->click();
        QTest::qWait(300);
        box->grab().save(QString::fromStdString(file));
        std::cout << file << '\n';
        for (QAbstractButton* button : box->buttons())
            if (button->text().startsWith(press)) {
                button->click();
                return;
            }
    });
}

void Stop(const std::string& source, const std::string& target)
{
    bool success = false;
    try {
        norrvik::ConvertKandorDatabase(source, target, success, [](const norrvik::TProgress& progress) {
            if (progress.CurrentStage == norrvik::TProgress::Stage::Converting && progress.Done == 2)
                throw norrvik::EConversionCancelled("Conversion cancelled after 2 entries");
        });
    } catch (const norrvik::EConversionCancelled&) {
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::cerr << "Usage: norrvik_window_screenshots KANDOR_SOURCE TARGET PREFIX\n";
        return 2;
    }
    QApplication application(argc, argv);
    const std::string prefix = argv[3];
    Stop(argv[1], argv[2]);
    norrvik::TForm1 form(norrvik::RealConversionDrivers());
    form.SetChoices({1, argv[1], argv[2]});
    form.show();
    QTest::qWait(300);
    SaveDialogThenPress(prefix + "-question.png", QStringLiteral("&Finish"));
    form.ActConversionExecute();
    QTest::qWait(300);
    form.grab().save(QString::fromStdString(prefix + "-window.png"));
    std::cout << prefix << "-window.png\n";
    SaveDialogThenPress(prefix + "-details.png", QStringLiteral("OK"), QStringLiteral("Show Details"));
    form.btnDetails->click();
    SaveDialogThenPress(prefix + "-undo.png", QStringLiteral("&Yes"));
    form.btnUndo->click();
    QTest::qWait(300);
    form.grab().save(QString::fromStdString(prefix + "-undone.png"));
    std::cout << prefix << "-undone.png\n";
    return 0;
}
