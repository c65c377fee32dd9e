// The busy indicator of the main window.
#include "app/BusyIndicator.h"

#include "window/WindowTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace norrvik {

TBusyIndicator::TBusyIndicator(QWidget* parent) : QFrame(parent)
{
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    lblProgress->setGeometry(0, 2, 272, 16);

    barProgress = new QProgressBar(this);
    barProgress->setObjectName(QStringLiteral("barProgress"));
    barProgress->setGeometry(0, 22, 188, 20);
    barProgress->setTextVisible(false);

    btnCancel = new QPushButton(QString::fromUtf8(windowtext::kCancelButton), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(197, 20, 75, 23);
    connect(btnCancel, &QPushButton::clicked, this, [this] {
        panel_.Cancel(); // asked once; the conversion stops at the next entry
        Draw();
        emit cancelRequested();
    });

    hide();
}

void TBusyIndicator::Start()
{
    panel_.Start();
    Draw();
    show();
    raise();
}

void TBusyIndicator::Stop()
{
    barProgress->setRange(0, 1);
    barProgress->reset();
    hide();
}

void TBusyIndicator::ShowProgress(const TProgressDisplay& display)
{
    panel_.Show(display);
    Draw();
}

void TBusyIndicator::Draw()
{
    const TBusyPanelState& state = panel_.State();
    barProgress->setRange(0, state.Range);
    if (state.Range > 0)
        barProgress->setValue(state.Position);
    lblProgress->setText(QString::fromStdString(state.Line));
    btnCancel->setEnabled(state.CancelEnabled);
}

} // namespace norrvik
