#include "delegates/storagebars.h"

#include <QApplication>
#include <QObject>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionViewItem>

namespace StorageBars {

namespace {

// Splits "a/b" at the first slash; false when either side is empty. A side that is not a
// number reads as 0.
bool splitPair(const QString& text, qint64* first, qint64* second) {
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0) return false;
    const QString a = text.left(slash), b = text.mid(slash + 1);
    if (a.isEmpty() || b.isEmpty()) return false;
    *first = a.trimmed().toLongLong();
    *second = b.trimmed().toLongLong();
    return true;
}

int clampWidth(qint64 w, int barWidth) { return static_cast<int>(qBound<qint64>(0, w, qMax(0, barWidth))); }

}  // namespace

QColor BarBackground() { return QColor(Qt::gray); }
QColor Green() { return QColor(53, 183, 74, 255); }
QColor DarkGrey() { return QColor(75, 75, 75, 255); }
QColor Red() { return QColor(Qt::red); }
QColor TextColor() { return QColor(Qt::white); }

QRect BarRect(const QRect& cell) { return QRect(cell.left() + 5, cell.top() + 5, cell.width() - 20, cell.height() - 5); }

Bar SpaceBar(const QString& text, int barWidth, bool unformattedLabel) {
    Bar bar;
    qint64 used = 0, total = 0;
    if (text.isEmpty() || !splitPair(text, &used, &total)) {
        bar.mode = Bar::Decline;
        return bar;
    }
    bar.text = text;
    if (total > 0) {
        // 64-bit products: space values of large disks would overflow an int.
        const QColor c = used > 2 * total / 3 ? Red() : Green();
        bar.fills << Fill{clampWidth(qint64(barWidth) * used / total, barWidth), c};
    } else {
        bar.fills << Fill{qMax(0, barWidth), DarkGrey()};
        if (unformattedLabel) bar.text = QObject::tr("K3710_UnFormat");
    }
    return bar;
}

const char* DiskStateKey(quint32 s) {
    // Marked for the translation tools: the text is looked up by the caller.
    if (!(s & 0x2)) return QT_TRANSLATE_NOOP("QObject", "K3710_UnFormat");
    if ((s & 0x8) && (s & 0x10)) return QT_TRANSLATE_NOOP("QObject", "K3717_OnRW");
    if (s & 0x10) return QT_TRANSLATE_NOOP("QObject", "K3781_OnWrite");
    if (s & 0x8) return QT_TRANSLATE_NOOP("QObject", "K3708_OnRead");
    return QT_TRANSLATE_NOOP("QObject", "K3709_Idle");
}

Bar DiskStateBar(const QVariant& state, int barWidth) {
    const quint32 s = static_cast<quint32>(state.toLongLong());
    Bar bar;
    bar.text = QObject::tr(DiskStateKey(s));
    if (!(s & 0x2)) bar.fills << Fill{qMax(0, barWidth), DarkGrey()};
    // Reading or writing wins the colour, even on an unformatted disk.
    if (s & (0x8 | 0x10)) bar.fills << Fill{qMax(0, barWidth), Green()};
    return bar;
}

Bar RecordStateBar(const QVariant& value, int barWidth) {
    const int v = value.toInt();
    Bar bar;
    bar.text = v != 0 ? QObject::tr("K3707_OnRecord") : QObject::tr("K3709_Idle");
    if (v > 0) bar.fills << Fill{qMax(0, barWidth), Green()};
    return bar;
}

Bar BlockUsageBar(const QString& text, int barWidth) {
    Bar bar;
    qint64 state = 0, used = 0;
    if (text.isEmpty() || !splitPair(text, &state, &used)) {
        bar.mode = Bar::Blank;
        return bar;
    }
    if (used > 0) {
        bar.fills << Fill{clampWidth(qint64(barWidth) * used / 256, barWidth), (state & 0x10) ? Green() : DarkGrey()};
        bar.text = QStringLiteral("%1%").arg(used * 100 / 256);
    } else {
        bar.text = QStringLiteral("0%");
    }
    return bar;
}

void PaintBar(QPainter* painter, const QStyleOptionViewItem& option, const Bar& bar) {
    if (bar.mode != Bar::Draw) return;
    const QRect b = BarRect(option.rect);
    painter->save();
    painter->fillRect(b, BarBackground());
    for (const Fill& f : bar.fills)
        if (f.width > 0) painter->fillRect(QRect(b.left(), b.top(), f.width, b.height()), f.color);
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Text, TextColor());
    QApplication::style()->drawItemText(painter, option.rect,
                                        int(option.displayAlignment) | Qt::AlignHCenter | Qt::AlignVCenter, palette,
                                        true, bar.text, QPalette::Text);
    painter->restore();
}

}  // namespace StorageBars
