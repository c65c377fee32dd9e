// What the main window shows while a conversion runs, in place of a file-copy
// animation: a progress bar with a short status line ("Converting entry 12
// of 380"), moving without a known end until the first report arrives, and
// a Cancel button that asks the conversion to stop after the current entry.
#pragma once

#include "window/BusyPanel.h"
#include "window/WindowView.h"

#include <QFrame>

class QLabel;
class QProgressBar;
class QPushButton;

namespace norrvik {

class TBusyIndicator : public QFrame {
    Q_OBJECT
public:
    explicit TBusyIndicator(QWidget* parent = nullptr);

    // Shows the indicator, moving without a known end, with Cancel enabled.
    void Start();
    // Stops and hides the indicator.
    void Stop();
    void ShowProgress(const TProgressDisplay& display);

    QLabel* lblProgress = nullptr;
    QProgressBar* barProgress = nullptr;
    QPushButton* btnCancel = nullptr;

signals:
    void cancelRequested();

private:
    void Draw();

    TBusyPanel panel_;
};

} // namespace norrvik
