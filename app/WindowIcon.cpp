// The window's icon, drawn after packaging/norrvik.svg (Qt reads no SVG
// without its image plugin, which is not always installed).
#include "app/WindowIcon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace norrvik {

namespace {

constexpr int kSide = 128;

void DrawLines(QPainter& painter)
{
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
    const int tops[] = {74, 40, 62, 24, 70, 54};
    for (int i = 0; i < 6; ++i)
        painter.drawLine(16 + 9 * i, 92, 16 + 9 * i, tops[i]);
    painter.setPen(QPen(QColor(0xa9, 0xd3, 0xe6), 3, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(10, 94, 66, 94);
}

void DrawArrowAndDatabase(QPainter& painter)
{
    QPainterPath arrow;
    arrow.addPolygon(QPolygonF({{67, 58}, {78, 58}, {78, 50}, {91, 64}, {78, 78}, {78, 70}, {67, 70}}));
    painter.fillPath(arrow, QColor(0xa9, 0xd3, 0xe6));
    QLinearGradient drum(94, 0, 118, 0);
    drum.setColorAt(0, QColor(0xe8, 0xa3, 0x3a));
    drum.setColorAt(0.5, QColor(0xf6, 0xc8, 0x68));
    drum.setColorAt(1, QColor(0xc9, 0x84, 0x20));
    painter.setPen(QPen(QColor(0x7a, 0x4d, 0x0c), 2));
    painter.setBrush(drum);
    painter.drawRoundedRect(QRectF(94, 39, 24, 62), 12, 5);
    painter.setBrush(QColor(0xf9, 0xdc, 0x97));
    painter.drawEllipse(QRectF(94, 39, 24, 10));
}

QPixmap DrawnIcon()
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient back(0, 4, 0, 124);
    back.setColorAt(0, QColor(0x2f, 0x6f, 0x8f));
    back.setColorAt(1, QColor(0x17, 0x3a, 0x4d));
    painter.setPen(Qt::NoPen);
    painter.setBrush(back);
    painter.drawRoundedRect(QRectF(4, 4, 120, 120), 20, 20);
    DrawLines(painter);
    DrawArrowAndDatabase(painter);
    return pixmap;
}

} // namespace

QIcon WindowIcon()
{
    return QIcon::fromTheme(QStringLiteral("norrvik"), QIcon(DrawnIcon()));
}

} // namespace norrvik
