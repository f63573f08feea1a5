// Bar cells of the storage tables: a grey bar across the cell, partly or wholly filled with a
// colour, and a white centred text over the whole cell. The rules that turn a cell's value into
// fills and a text are free functions; PaintBar draws what they decide.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QVariant>
#include <QVector>

class QPainter;
class QStyleOptionViewItem;

namespace StorageBars {

QColor BarBackground();  // Qt::gray
QColor Green();          // 53, 183, 74
QColor DarkGrey();       // 75, 75, 75
QColor Red();            // Qt::red
QColor TextColor();      // Qt::white

struct Fill {
    int width;  // from the bar's left edge, full height
    QColor color;
    bool operator==(const Fill& o) const { return width == o.width && color == o.color; }
};

struct Bar {
    enum Mode {
        Draw,     // background, then the fills in order, then the text
        Decline,  // not a bar: the ordinary cell painting takes over
        Blank,    // nothing at all is painted
    };
    Mode mode = Draw;
    QVector<Fill> fills;
    QString text;
};

// The bar rectangle of a cell: 5 pixels in from the left and the top, 20 narrower, 5 lower.
QRect BarRect(const QRect& cell);

// Disk space "used/total". Filled used/total of the width, red above two thirds, else green.
// Total 0 or less: all dark grey, with the unformatted text when unformattedLabel is set.
Bar SpaceBar(const QString& text, int barWidth, bool unformattedLabel);
// A disk's state word.
Bar DiskStateBar(const QVariant& state, int barWidth);
// The key of a disk state's text ("K3710_UnFormat", "K3717_OnRW", "K3781_OnWrite",
// "K3708_OnRead", "K3709_Idle").
const char* DiskStateKey(quint32 state);
// A record state (a channel's or a stream's record mode): non-zero is recording.
Bar RecordStateBar(const QVariant& value, int barWidth);
// A block's "state/used clusters", against a full scale of 256 clusters.
Bar BlockUsageBar(const QString& text, int barWidth);

// Paints a Draw bar into the option's rectangle (nothing for the other modes).
void PaintBar(QPainter* painter, const QStyleOptionViewItem& option, const Bar& bar);

}  // namespace StorageBars
