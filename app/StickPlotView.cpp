// Painting the stick-pattern plot.
#include "app/StickPlotView.h"

#include <QPainter>

namespace norrvik {

namespace {

QColor ColourOf(std::uint32_t rgb)
{
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

void PaintText(QPainter& painter, const TPlotText& text)
{
    QFont font = painter.font();
    font.setPixelSize(std::max(6, static_cast<int>(text.Size)));
    painter.setFont(font);
    painter.setPen(ColourOf(text.Colour));
    const QString shown = QString::fromStdString(text.Text);
    const int width = painter.fontMetrics().horizontalAdvance(shown);
    const int shift = text.Anchor == TextAnchor::Start ? 0 : text.Anchor == TextAnchor::Middle ? width / 2 : width;
    painter.save();
    painter.translate(text.X, text.Y);
    if (text.Vertical)
        painter.rotate(-90);
    painter.drawText(-shift, 0, shown);
    painter.restore();
}

} // namespace

TStickPlotView::TStickPlotView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(320, 200);
}

void TStickPlotView::SetPattern(TStickPattern pattern)
{
    pattern_ = std::move(pattern);
    update();
}

void TStickPlotView::SetAxis(TPlotAxis axis)
{
    axis_ = std::move(axis);
    update();
}

void TStickPlotView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const TPlotPicture picture = LayOutStickPlot(pattern_, axis_, width(), height());
    for (const TPlotLine& line : picture.Lines) {
        painter.setPen(QPen(ColourOf(line.Colour), line.Width));
        painter.drawLine(QPointF(line.X1, line.Y1), QPointF(line.X2, line.Y2));
    }
    for (const TPlotText& text : picture.Texts)
        PaintText(painter, text);
}

} // namespace norrvik
