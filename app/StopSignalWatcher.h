// SIGINT, SIGTERM and SIGHUP for the window: a logout or a service stop ends
// the program as the user would. A running conversion is cancelled as the
// Cancel button does (after the entry it is working on, never inside the
// index writing); once the window is idle and no dialog of it is open, the
// window closes, which ends the program. The signal handler only wakes the
// event loop (common/StopSignals.h); everything else runs there.
#pragma once

#include "common/StopSignals.h"

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace norrvik {

class TForm1;

class TStopSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit TStopSignalWatcher(TForm1& form, QObject* parent = nullptr);
    ~TStopSignalWatcher() override;

private:
    void OnSignal();
    void CloseWhenIdle();

    TForm1& form_;
    TStopSignals signals_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* closer_ = nullptr;
};

} // namespace norrvik
