// The busy indicator of the main window.
#include "app/BusyIndicator.h"

#include "window/WindowTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <climits>

namespace norrvik {

namespace {

// QProgressBar counts in int; a count beyond its range is shown clamped.
int BarValue(long value)
{
    return static_cast<int>(std::clamp(value, 0L, static_cast<long>(INT_MAX)));
}

} // namespace

TBusyIndicator::TBusyIndicator(QWidget* parent) : QFrame(parent)
{
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(0, 2, 272, 16);

    barProgress = new QProgressBar(this);
    barProgress->setObjectName(QStringLiteral("barProgress"));
    barProgress->setGeometry(0, 22, 188, 20);
    barProgress->setTextVisible(false);

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(197, 20, 75, 23);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        btnCancel->setEnabled(false); // asked once; the conversion stops at the next entry
        lblProgress->setText(QString::fromUtf8(windowtext::kCancelling));
        emit cancelRequested();
    });

    hide();
}

void TBusyIndicator::Start()
{
    lblProgress->setText(QStringLiteral("Converting..."));
    barProgress->setRange(0, 0); // nothing known yet: the bar moves without an end
    btnCancel->setEnabled(true);
    show();
    raise();
}

void TBusyIndicator::Stop()
{
    barProgress->setRange(0, 1);
    barProgress->reset();
    hide();
}

void TBusyIndicator::ShowProgress(const ProgressDisplay& display)
{
    if (display.total > 0) {
        barProgress->setRange(0, BarValue(display.total));
        barProgress->setValue(BarValue(std::min(display.done, display.total)));
    } else {
        barProgress->setRange(0, 0);
    }
    // After Cancel the line keeps saying "Cancelling..." until the run stops.
    if (btnCancel->isEnabled() || !display.canCancel)
        lblProgress->setText(QString::fromStdString(display.text));
    if (!display.canCancel)
        btnCancel->setEnabled(false);
}

} // namespace norrvik
