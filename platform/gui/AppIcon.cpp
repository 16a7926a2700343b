#include "platform/gui/AppIcon.h"

#include <QPainter>
#include <QPixmap>

namespace {

QPixmap IconPixmap(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame(size * 0.06, size * 0.06, size * 0.88, size * 0.88);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x6f, 0x5c));
    painter.drawRoundedRect(frame, size * 0.18, size * 0.18);
    // Three arcs, a fingertip's ridges.
    QPen ridge(Qt::white, qMax(1.0, size * 0.07), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(ridge);
    painter.setBrush(Qt::NoBrush);
    for (int ring = 0; ring < 3; ++ring) {
        const qreal inset = size * (0.22 + ring * 0.11);
        const QRectF arc(inset, inset + size * 0.06, size - 2 * inset, size - 2 * inset);
        painter.drawArc(arc, 20 * 16, 320 * 16);
    }
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64})
        icon.addPixmap(IconPixmap(size));
    return icon;
}
