// SPDX-License-Identifier: Apache-2.0
#include "windows/emblem.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace ombrel::windows {

QImage drawEmblem(int size) {
    QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter p(&icon);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 32-unit grid, the size the About window shows.
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(QColor(40, 40, 90), 2));
    p.setBrush(QColor(235, 235, 245));
    p.drawEllipse(QRectF(1.5, 1.5, 29, 29));
    QPainterPath canopy;
    canopy.moveTo(6, 16);
    canopy.arcTo(QRectF(6, 6, 20, 20), 180, -180);
    canopy.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 90, 60));
    p.drawPath(canopy);
    p.setPen(QPen(QColor(40, 40, 40), 1.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(16, 16), QPointF(16, 23.5));
    p.drawArc(QRectF(12, 21, 4, 5), 0, -180 * 16);
    return icon;
}

} // namespace ombrel::windows
