#include <QtTest>

#include <QSignalSpy>

#include "common/playlist/lumoplaylistitemdelegate.h"
#include "common/playlist/playlistwidget.h"

class TestPlayListWidget : public QObject {
    Q_OBJECT
private slots:
    void itemRoles() {
        PlayListWidget list(nullptr);
        const QDateTime start(QDate(2026, 3, 4), QTime(5, 6, 7));
        const QDateTime end(QDate(2026, 3, 4), QTime(6, 0, 0));
        const quint64 bigId = Q_UINT64_C(0xFEDCBA9876543210);
        const quint64 bigSize = Q_UINT64_C(5) << 32;
        list.AddItem(bigId, QStringLiteral("front door.dav"), start, end, bigSize);
        list.AddItem(7, QStringLiteral("yard.mp4"), QDateTime(), QDateTime(), 0);

        QCOMPARE(list.count(), 2);
        QListWidgetItem* it = list.item(0);
        QCOMPARE(it->data(Qt::UserRole + 1).toULongLong(), bigId);
        QCOMPARE(it->data(Qt::UserRole + 2).toString(), QStringLiteral("front door.dav"));
        QCOMPARE(it->data(Qt::UserRole + 3).toDateTime(), start);
        QCOMPARE(it->data(Qt::UserRole + 4).toDateTime(), end);
        QCOMPARE(it->data(Qt::UserRole + 5).toULongLong(), bigSize);
        QCOMPARE(it->data(Qt::UserRole + 6).toULongLong(), quint64(0));
        QCOMPARE(it->toolTip(), QStringLiteral("front door.dav"));

        QCOMPARE(list.GetItemId(0), bigId);
        QCOMPARE(list.GetItemId(1), quint64(7));
        QCOMPARE(list.GetItemName(1), QStringLiteral("yard.mp4"));
        // Rows without an item.
        QCOMPARE(list.GetItemId(2), quint64(0));
        QCOMPARE(list.GetItemId(-1), quint64(0));
        QCOMPARE(list.GetItemName(5), QString());
        QCOMPARE(list.GetItemFlags(nullptr), quint64(0));
    }

    void itemFlags() {
        PlayListWidget list(nullptr);
        list.AddItem(1, QStringLiteral("a"), QDateTime(), QDateTime(), 1);
        list.SetItemFlag(0, 0, true);
        list.SetItemFlag(0, 16, true);
        QCOMPARE(list.GetItemFlags(list.item(0)), quint64(0x10001));
        list.SetItemFlag(0, 17, true);  // out of range: ignored
        list.SetItemFlag(3, 1, true);   // no such row: ignored
        QCOMPARE(list.GetItemFlags(list.item(0)), quint64(0x10001));
        list.SetItemFlag(0, 0, false);
        QCOMPARE(list.GetItemFlags(list.item(0)), quint64(0x10000));
        list.SetItemFlag(0, 16, false);
        QCOMPARE(list.GetItemFlags(list.item(0)), quint64(0));
    }

    void textColor_data() {
        QTest::addColumn<quint64>("flags");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("colour");
        const int sel = QStyle::State_Selected, over = QStyle::State_MouseOver;
        QTest::newRow("idle") << quint64(0) << 0 << "default";
        QTest::newRow("hovered") << quint64(0) << over << "hover";
        QTest::newRow("selected beats hover") << quint64(0) << (sel | over) << "select";
        QTest::newRow("playing beats selected") << quint64(4) << sel << "playing";
        QTest::newRow("playing, top bit") << quint64(0x10000) << 0 << "playing";
    }
    void textColor() {
        QFETCH(quint64, flags);
        QFETCH(int, state);
        QFETCH(QString, colour);
        PlayListWidget list(nullptr);
        QMap<QString, QColor> named{
            {"default", Qt::white}, {"select", Qt::yellow}, {"hover", Qt::cyan}, {"playing", Qt::green}};
        list.SetColors(named["default"], named["select"], named["hover"], named["playing"], Qt::red,
                       Qt::gray);
        QCOMPARE(list.GetDelegate()->TextColor(flags, QStyle::State(state)), named[colour]);
    }

    void sizeText_data() {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << quint64(0) << "0.0 B";
        QTest::newRow("500") << quint64(500) << "500.0 B";
        QTest::newRow("1024 stays bytes") << quint64(1024) << "1024.0 B";
        QTest::newRow("1025") << quint64(1025) << "1.0 KB";
        QTest::newRow("1536 is one and a half") << quint64(1536) << "1.5 KB";
        QTest::newRow("1048577") << quint64(1048577) << "1024.0 KB";
        QTest::newRow("2 MiB") << quint64(2097152) << "2.0 MB";
        QTest::newRow("tenths truncate") << quint64(1048575) << "1023.9 KB";
        QTest::newRow("just under 4 GiB") << Q_UINT64_C(0xFFFFFFFF) << "3.9 GB";
        QTest::newRow("4 GiB does not wrap") << (Q_UINT64_C(1) << 32) << "4.0 GB";
        QTest::newRow("4 GiB + 1 does not wrap") << ((Q_UINT64_C(1) << 32) + 1) << "4.0 GB";
        QTest::newRow("5.5 GiB") << (Q_UINT64_C(11) << 29) << "5.5 GB";
        QTest::newRow("2 TiB stays in GB") << (Q_UINT64_C(2) << 40) << "2048.0 GB";
        QTest::newRow("largest") << ~quint64(0) << "17179869183.9 GB";
    }
    void sizeText() {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(LumoPlayListItemDelegate::SizeText(bytes), text);
    }

    void nameText_data() {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("shown");
        QTest::newRow("short") << 5 << 5;
        QTest::newRow("exactly 38 whole") << 38 << 38;
        QTest::newRow("39 cut to 28 + dots") << 39 << 31;
        QTest::newRow("long") << 200 << 31;
    }
    void nameText() {
        QFETCH(int, length);
        QFETCH(int, shown);
        LumoPlayListItemDelegate delegate;
        QString name;
        for (int i = 0; i < length; ++i) name += QChar('a' + i % 26);
        const QString text = delegate.NameText(name);
        QCOMPARE(text.size(), shown);
        if (length > 38)
            QCOMPARE(text, name.left(28) + "...");
        else
            QCOMPARE(text, name);
    }

    void timeText_data() {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<QString>("text");
        const QDateTime s(QDate(2026, 1, 2), QTime(3, 4, 5));
        const QDateTime e(QDate(2026, 1, 2), QTime(13, 14, 15));
        QTest::newRow("both") << s << e << "2026/01/02 03:04:05_13:14:15";
        QTest::newRow("no end") << s << QDateTime() << "2026/01/02 03:04:05_";
        QTest::newRow("only end") << QDateTime() << e << "13:14:15";
        QTest::newRow("none") << QDateTime() << QDateTime() << "";
    }
    void timeText() {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(QString, text);
        QCOMPARE(LumoPlayListItemDelegate::TimeText(start, end), text);
    }

    void sizeHintIsCard() {
        PlayListWidget list(nullptr);
        list.AddItem(1, "a", QDateTime(), QDateTime(), 1);
        QStyleOptionViewItem opt;
        QCOMPARE(list.GetDelegate()->sizeHint(opt, list.model()->index(0, 0)), QSize(240, 70));
    }

    // In a list as wide as the player's, a record's rows fit their width: a text too long for it
    // is cut with "..." by its measured width, and while the delete button shows nothing reaches
    // under it.
    void rowsFitTheirWidth() {
        PlayListWidget list(nullptr);
        list.resize(270, 300);
        list.AddItem(1, "c01_s0_r0_20261211_100000_and_a_long_tail_of_words.dav", QDateTime(), QDateTime(), 1);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        const LumoPlayListItemDelegate* d = list.GetDelegate();
        const QRect item = list.visualItemRect(list.item(0));
        const QFontMetrics fm(LumoPlayListItemDelegate::RowFont());
        const QString time = LumoPlayListItemDelegate::TimeText(QDateTime(QDate(2026, 12, 11), QTime(10, 16, 13)),
                                                                QDateTime(QDate(2026, 12, 11), QTime(10, 17, 13)));
        // Whole where the font lets it, else cut with "..." (never clipped mid-letter); at least
        // all of the date and the start time.
        const QString shown = d->FittedText(time, item, false);
        QVERIFY2(shown == time || shown.endsWith(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.startsWith(QLatin1String("2026/12/11 10:16:13")));
        QVERIFY(fm.horizontalAdvance(shown) <= d->TextWidth(item, false));
        QVERIFY(item.left() + 20 + d->TextWidth(item, false) <= item.right());
        // Hovered, the delete button shows: the texts end before it, cut where they must.
        for (bool hovered : {false, true}) {
            const QString name = d->FittedText(d->NameText(QString(80, QLatin1Char('W'))), item, hovered);
            QVERIFY2(name.endsWith(QChar(0x2026)) || name.endsWith(QLatin1String("...")), qPrintable(name));
            QVERIFY(fm.horizontalAdvance(name) <= d->TextWidth(item, hovered));
        }
        QVERIFY(fm.horizontalAdvance(d->FittedText(time, item, true)) <= d->TextWidth(item, true));
        QVERIFY(item.left() + 20 + d->TextWidth(item, true) < d->ButtonRect(item).left());
        QVERIFY(item.contains(d->ButtonRect(item)));
    }

    // A left click on the painted delete button reaches the owner through both signals; the
    // list keeps the row (removing it is the owner's call). Elsewhere the click only selects.
    void deleteButtonClick() {
        PlayListWidget list(nullptr);
        list.resize(260, 300);
        list.AddItem(11, "first", QDateTime(), QDateTime(), 10);
        list.AddItem(22, "second", QDateTime(), QDateTime(), 20);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));

        QSignalSpy fromDelegate(list.GetDelegate(), &LumoPlayListItemDelegate::deleteItem);
        QSignalSpy fromList(&list, &PlayListWidget::deleteItem);
        const QRect item = list.visualItemRect(list.item(1));
        const QPoint onButton = list.GetDelegate()->ButtonRect(item).center();

        QTest::mousePress(list.viewport(), Qt::LeftButton, {}, onButton);
        QCOMPARE(list.GetDelegate()->ButtonState(), 2);
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, onButton);
        QCOMPARE(fromDelegate.count(), 1);
        QCOMPARE(fromList.count(), 1);
        QCOMPARE(fromList.at(0).at(0).value<QModelIndex>().row(), 1);
        QCOMPARE(list.count(), 2);

        // Right button on the button, and a left click beside it: no delete.
        QTest::mouseClick(list.viewport(), Qt::RightButton, {}, onButton);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, item.topLeft() + QPoint(30, 10));
        QCOMPARE(fromList.count(), 1);
        QCOMPARE(list.currentRow(), 1);
    }
};

QTEST_MAIN(TestPlayListWidget)
#include "tst_playlistwidget.moc"
