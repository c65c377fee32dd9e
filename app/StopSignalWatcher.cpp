// The window's handling of the stop signals.
#include "app/StopSignalWatcher.h"

#include "app/FrmMain.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

namespace norrvik {

namespace {

// How often a window that is still busy or shows a dialog is looked at again.
constexpr int kCloseRetryMilliseconds = 100;

} // namespace

TStopSignalWatcher::TStopSignalWatcher(TForm1& form, QObject* parent) : QObject(parent), form_(form)
{
    closer_ = new QTimer(this);
    closer_->setInterval(kCloseRetryMilliseconds);
    connect(closer_, &QTimer::timeout, this, &TStopSignalWatcher::CloseWhenIdle);
    if (signals_.WakeDescriptor() >= 0) {
        notifier_ = new QSocketNotifier(signals_.WakeDescriptor(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TStopSignalWatcher::OnSignal);
    }
    // A running conversion sees the signal at its next entry, without
    // waiting for the event loop to read the wake-up descriptor.
    form_.SetStopRequested([] { return TStopSignals::Requested() != 0; });
}

TStopSignalWatcher::~TStopSignalWatcher()
{
    form_.SetStopRequested({});
}

void TStopSignalWatcher::OnSignal()
{
    signals_.Drain();
    form_.RequestCancel();
    closer_->start();
    CloseWhenIdle();
}

void TStopSignalWatcher::CloseWhenIdle()
{
    // A message of the run (a failed close, say) is left for the user to read.
    if (form_.IsBusy() || QApplication::activeModalWidget() != nullptr)
        return;
    closer_->stop();
    form_.close();
}

} // namespace norrvik
