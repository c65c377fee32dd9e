// The busy indicator of the main window.
#include "app/BusyIndicator.h"

#include "common/ProgressText.h"

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
        lblProgress->setText(QStringLiteral("Cancelling..."));
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

void TBusyIndicator::ShowProgress(const Progress& progress)
{
    if (progress.total > 0) {
        barProgress->setRange(0, BarValue(progress.total));
        barProgress->setValue(BarValue(std::min(progress.done, progress.total)));
    } else {
        barProgress->setRange(0, 0);
    }
    if (btnCancel->isEnabled() || !CanStopAt(progress))
        lblProgress->setText(QString::fromStdString(ProgressText(progress)));
    // Once the rebuild of the indexes has begun the run can no longer stop.
    if (!CanStopAt(progress))
        btnCancel->setEnabled(false);
}

} // namespace norrvik
