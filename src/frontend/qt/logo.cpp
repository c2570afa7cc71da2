#include "frontend/qt/logo.h"

#include <QIcon>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace koru {

void DrawLogo(QPainter& painter, const QRectF& box) {
    // Drawn on a 64 x 64 grid, scaled to the box (kept square, centred).
    const qreal side = std::min(box.width(), box.height());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 64.0, side / 64.0);

    QLinearGradient tile(0, 4, 0, 60);
    tile.setColorAt(0, QColor(0x1F, 0x7A, 0x68));
    tile.setColorAt(1, QColor(0x0E, 0x3B, 0x45));
    painter.setPen(Qt::NoPen);
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(3, 3, 58, 58), 13, 13);

    // The frond: a stem rising from the bottom, then three half turns of
    // shrinking radius around two centres, ending in a bud.
    QPainterPath frond;
    frond.moveTo(31, 57);
    frond.cubicTo(31, 47, 21, 42, 21, 29);
    frond.arcTo(QRectF(21, 14, 30, 30), 180, -180);  // over the top, centre (36, 29)
    frond.arcTo(QRectF(29, 18, 22, 22), 0, -180);    // under, centre (40, 29)
    frond.arcTo(QRectF(29, 22, 14, 14), 180, -180);   // over, centre (36, 29)
    QPen pen(QColor(0xC4, 0xEE, 0x8C), 5.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(frond);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xE8, 0xFA, 0xC8));
    painter.drawEllipse(QPointF(43, 29), 3.4, 3.4);
    // A small leaf on the stem.
    QPainterPath leaf;
    leaf.moveTo(29, 49);
    leaf.quadTo(37, 51, 41, 44);
    leaf.quadTo(33, 42, 29, 49);
    painter.setBrush(QColor(0x8F, 0xD1, 0x6A));
    painter.drawPath(leaf);
    painter.restore();
}

QImage LogoImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    DrawLogo(painter, QRectF(0, 0, size, size));
    return image;
}

QIcon LogoIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(LogoImage(size)));
    return icon;
}

}  // namespace koru
