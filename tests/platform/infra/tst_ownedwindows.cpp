// The library's message box, frameless dialog and notifier notices belong to a window: the window
// that asked, else the active window. The window manager is told so (transient-for, on a window
// type it keeps above its owner) and they open centred over that window.
#include <QtTest>
#include <QtWidgets>

#include "VantelInfraAPI/frameless.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelInfraAPI/notifier.h"
#include "VantelInfraAPI/testseams.h"

namespace {

// Runs `check` on the first visible top-level window of the class once it shows, then closes it.
void whenShown(const char* className, std::function<void(QWidget*)> check) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, className, check]() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible() || !w->inherits(className)) continue;
            timer->stop();
            timer->deleteLater();
            check(w);
            w->close();
            return;
        }
    });
    timer->start();
}

}  // namespace

class TestOwnedWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<QWidget> m_owner;

    // What each kind is checked for; filled by the check while the window is open.
    struct Seen {
        bool shown = false;
        QWindow* transientParent = nullptr;
        Qt::WindowType type = Qt::Widget;
        QPoint centre;
    };
    static void record(QWidget* w, Seen* seen) {
        seen->shown = true;
        seen->transientParent = w->windowHandle() ? w->windowHandle()->transientParent() : nullptr;
        seen->type = w->windowHandle() ? w->windowHandle()->type() : Qt::Widget;
        seen->centre = w->frameGeometry().center();
    }

private slots:
    void init() {
        INFRA::TestSeams::SetScriptedReply(QString());
        INFRA::TestSeams::SetUiLogPath(QString());
        // The window that asks: away from the screen's centre, so that a window centred on the
        // screen (or put in its corner) does not pass for one centred over it.
        m_owner = std::make_unique<QWidget>();
        m_owner->setWindowTitle(QStringLiteral("owner"));
        m_owner->setGeometry(60, 80, 700, 460);
        m_owner->show();
        QApplication::setActiveWindow(m_owner.get());
        QVERIFY(QTest::qWaitForWindowExposed(m_owner.get()));
    }
    void cleanup() { m_owner.reset(); }

    void tiedAndCentred_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("withParent");  // false: the active window is the owner
        QTest::newRow("message box of a child widget") << "messagebox" << true;
        QTest::newRow("message box without a parent") << "messagebox" << false;
        QTest::newRow("frameless dialog") << "frameless" << true;
        QTest::newRow("frameless dialog without a parent") << "frameless" << false;
        QTest::newRow("notifier notice") << "notifier" << false;
    }
    void tiedAndCentred() {
        QFETCH(QString, kind);
        QFETCH(bool, withParent);
        // A widget inside the owner asks, as the consoles' pages do.
        auto* page = new QWidget(m_owner.get());
        page->setGeometry(10, 10, 100, 100);
        page->show();
        QWidget* parent = withParent ? page : nullptr;
        Seen seen;
        if (kind == QLatin1String("messagebox")) {
            whenShown("INFRA::MessageBox", [&seen](QWidget* w) { record(w, &seen); });
            INFRA::MessageBox::Information(parent, QStringLiteral("t"), QStringLiteral("text"));
        } else if (kind == QLatin1String("frameless")) {
            INFRA::FrameLessDialog dialog(parent);
            dialog.resize(300, 200);
            dialog.SetDefaultButton(INFRA::FrameLessDialog::ConfirmButton);
            whenShown("INFRA::FrameLessDialog", [&seen](QWidget* w) { record(w, &seen); });
            dialog.exec();
        } else {
            INFRA::NotifierManager::instance()->notify(QStringLiteral("Sent"), QStringLiteral("test mail"), 0,
                                                       QStringLiteral("#"));
            QWidget* notice = nullptr;
            QVERIFY(QTest::qWaitFor([&notice]() {
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (w->isVisible() && w->inherits("INFRA::NotifierPopup")) notice = w;
                return notice != nullptr;
            }));
            record(notice, &seen);
            notice->close();
        }
        QVERIFY(seen.shown);
        QCOMPARE(seen.transientParent, m_owner->windowHandle());
        // Only these types carry the hint to an X11 window manager.
        QVERIFY2(seen.type == Qt::Dialog || seen.type == Qt::Tool,
                 qPrintable(QString::number(seen.type, 16)));
        const QPoint want = m_owner->frameGeometry().center();
        QVERIFY2((seen.centre - want).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("centre %1,%2, owner's %3,%4")
                                .arg(seen.centre.x())
                                .arg(seen.centre.y())
                                .arg(want.x())
                                .arg(want.y())));
    }

    // The parent's window is hidden (the player while its views fill the screen): the dialog
    // belongs to the window the operator works in, not to the hidden one.
    void hiddenParentGivesWayToTheActiveWindow() {
        QWidget hidden;
        hidden.setGeometry(0, 0, 200, 100);
        INFRA::FrameLessDialog dialog(&hidden);
        dialog.resize(200, 120);
        QCOMPARE(INFRA::OwnerWindow(&dialog), m_owner.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(dialog.windowHandle()->transientParent(), m_owner->windowHandle());
        QVERIFY((dialog.frameGeometry().center() - m_owner->frameGeometry().center()).manhattanLength() <= 2);
    }

    // Notices of one window stack in a column over it, without overlapping.
    void noticesStackOverTheirWindow() {
        auto* mgr = INFRA::NotifierManager::instance();
        mgr->notify(QStringLiteral("one"), QStringLiteral("first"), 0, QStringLiteral("#"));
        mgr->notify(QStringLiteral("two"), QStringLiteral("second"), 1, QStringLiteral("#"));
        QList<QWidget*> notices;
        QVERIFY(QTest::qWaitFor([&notices]() {
            notices.clear();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->inherits("INFRA::NotifierPopup")) notices << w;
            return notices.size() == 2;
        }));
        QVERIFY(!notices[0]->frameGeometry().intersects(notices[1]->frameGeometry()));
        const QRect owner = m_owner->frameGeometry();
        for (QWidget* n : notices) {
            QVERIFY(owner.contains(n->frameGeometry()));
            QVERIFY(qAbs(n->frameGeometry().center().x() - owner.center().x()) <= 1);
        }
        const QRect column = notices[0]->frameGeometry().united(notices[1]->frameGeometry());
        QVERIFY(qAbs(column.center().y() - owner.center().y()) <= 1);
        for (QWidget* n : notices) n->close();
    }

    // A notice that comes while a dialog is the active window is shown over that dialog, and
    // stays when the dialog goes.
    void noticeOutlivesTheDialogItCameOver() {
        auto* dialog = new QDialog(m_owner.get());
        dialog->resize(300, 200);
        dialog->show();
        QApplication::setActiveWindow(dialog);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        INFRA::NotifierManager::instance()->notify(QStringLiteral("Failed"), QStringLiteral("no server"), 1,
                                                   QStringLiteral("#"));
        QPointer<QWidget> notice;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible() && w->inherits("INFRA::NotifierPopup")) notice = w;
        QVERIFY(notice);
        QCOMPARE(notice->windowHandle()->transientParent(), dialog->windowHandle());
        delete dialog;
        QVERIFY(notice);
        QVERIFY(notice->isVisible());
        notice->close();
    }
};

QTEST_MAIN(TestOwnedWindows)
#include "tst_ownedwindows.moc"
