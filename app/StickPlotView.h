// The stick-pattern plot in the window: the toolkit-free plot picture laid
// out for the widget's size and drawn with Qt's painter.
#pragma once

#include "plot/StickPlot.h"

#include <QWidget>

namespace norrvik {

class TStickPlotView : public QWidget {
    Q_OBJECT
public:
    explicit TStickPlotView(QWidget* parent = nullptr);

    void SetPattern(TStickPattern pattern);
    void SetAxis(TPlotAxis axis);
    const TStickPattern& Pattern() const { return pattern_; }
    const TPlotAxis& Axis() const { return axis_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TStickPattern pattern_;
    TPlotAxis axis_;
};

} // namespace norrvik
