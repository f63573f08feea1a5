#include "lumoc/playback/playericons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// Drawn on a 64 x 64 grid; the icon engine scales to the button's 32 x 32.
QPainterPath Shape(PlayerIcon which) {
    QPainterPath path;
    auto triangle = [&path](qreal left, qreal right, bool forward) {
        QPolygonF t;
        if (forward)
            t << QPointF(left, 18) << QPointF(right, 32) << QPointF(left, 46);
        else
            t << QPointF(right, 18) << QPointF(left, 32) << QPointF(right, 46);
        path.addPolygon(t);
        path.closeSubpath();
    };
    switch (which) {
        case PlayerIcon::Play:
            triangle(22, 46, true);
            break;
        case PlayerIcon::Pause:
            path.addRoundedRect(QRectF(20, 18, 9, 28), 2, 2);
            path.addRoundedRect(QRectF(35, 18, 9, 28), 2, 2);
            break;
        case PlayerIcon::Stop:
            path.addRoundedRect(QRectF(20, 20, 24, 24), 3, 3);
            break;
        case PlayerIcon::Faster:
            triangle(14, 32, true);
            triangle(32, 50, true);
            break;
        case PlayerIcon::Slower:
            triangle(14, 32, false);
            triangle(32, 50, false);
            break;
        case PlayerIcon::Snapshot: {
            QPainterPath body;
            body.addRoundedRect(QRectF(12, 22, 40, 26), 4, 4);
            body.addRect(QRectF(24, 17, 16, 6));
            QPainterPath lens;
            lens.addEllipse(QPointF(32, 35), 8, 8);
            path = body.united(QPainterPath()).subtracted(lens);
            path.addEllipse(QPointF(32, 35), 4.5, 4.5);
            break;
        }
    }
    return path;
}

QPixmap Draw(PlayerIcon which, const QColor& colour) {
    QPixmap pixmap(64, 64);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    painter.drawPath(Shape(which));
    return pixmap;
}

}  // namespace

QIcon MakePlayerIcon(PlayerIcon which) {
    QIcon icon;
    icon.addPixmap(Draw(which, QColor(0x2f, 0x8f, 0xe0)), QIcon::Normal);
    icon.addPixmap(Draw(which, QColor(0x5a, 0xb0, 0xff)), QIcon::Active);
    icon.addPixmap(Draw(which, QColor(0x9a, 0x9a, 0x9a)), QIcon::Disabled);
    return icon;
}
