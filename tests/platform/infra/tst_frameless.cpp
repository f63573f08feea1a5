// Frameless form and dialog: content widget, title, and what exec returns.
#include <QtTest>
#include <QtWidgets>

#include "VantelInfraAPI/frameless.h"

namespace {

class CheckedDialog : public INFRA::FrameLessDialog {
public:
    using INFRA::FrameLessDialog::FrameLessDialog;
    bool allow = false;
    int confirms = 0;

protected:
    void OnConfirm() override {
        ++confirms;
        if (allow) accept();
    }
};

void later(int ms, std::function<void()> f) {
    QTimer::singleShot(ms, f);
}

}  // namespace

class TestFrameless : public QObject {
    Q_OBJECT
private slots:
    void mainWidgetAndTitle() {
        INFRA::FramelessForm form;
        QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
        QPointer<QWidget> first = form.GetMainWidget();
        QVERIFY(first);
        auto* content = new QLabel(QStringLiteral("content"));
        form.SetMainWidget(content, true);
        QCOMPARE(form.GetMainWidget(), content);
        QCOMPARE(content->parentWidget(), &form);
        QTRY_VERIFY(first.isNull());  // the old one is deleted
        form.SetTitle(QStringLiteral("Disk status"));
        QCOMPARE(form.GetTitle(), QStringLiteral("Disk status"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Disk status"));
    }

    void execResults_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        QTest::newRow("confirm") << "confirm" << 1;
        QTest::newRow("cancel") << "cancel" << 0;
        QTest::newRow("escape") << "escape" << 0;
        QTest::newRow("title close") << "close" << 0;
        QTest::newRow("window closed") << "wmclose" << 0;
    }
    void execResults() {
        QFETCH(QString, how);
        QFETCH(int, result);
        INFRA::FrameLessDialog dlg(nullptr, Qt::WindowCloseButtonHint);
        dlg.SetDefaultButton(INFRA::FrameLessDialog::ConfirmButton | INFRA::FrameLessDialog::CancelButton);
        later(50, [&dlg, how]() {
            if (how == QLatin1String("confirm"))
                dlg.findChild<QPushButton*>(QStringLiteral("InfraConfirmButton"))->click();
            else if (how == QLatin1String("cancel"))
                dlg.findChild<QPushButton*>(QStringLiteral("InfraCancelButton"))->click();
            else if (how == QLatin1String("escape"))
                QTest::keyClick(&dlg, Qt::Key_Escape);
            else if (how == QLatin1String("close"))
                dlg.findChild<QPushButton*>(QStringLiteral("InfraCloseButton"))->click();
            else
                dlg.close();
        });
        QCOMPARE(dlg.exec(INFRA::ShowApplicationModal), result);
        QVERIFY(!dlg.isVisible());
    }

    // A dialog that checks its input keeps itself open until the input is right.
    void confirmOverrideCanRefuse() {
        CheckedDialog dlg(nullptr, Qt::WindowCloseButtonHint);
        dlg.SetDefaultButton(INFRA::FrameLessDialog::ConfirmButton);
        later(30, [&dlg]() { dlg.findChild<QPushButton*>(QStringLiteral("InfraConfirmButton"))->click(); });
        later(80, [&dlg]() {
            QVERIFY(dlg.isVisible());
            dlg.allow = true;
            dlg.findChild<QPushButton*>(QStringLiteral("InfraConfirmButton"))->click();
        });
        QCOMPARE(dlg.exec(INFRA::ShowWindowModal), 1);
        QCOMPARE(dlg.confirms, 2);
    }

    void execTwiceWorks() {
        INFRA::FrameLessDialog dlg;
        later(20, [&dlg]() { dlg.accept(); });
        QCOMPARE(dlg.exec(), 1);
        later(20, [&dlg]() { dlg.reject(); });
        QCOMPARE(dlg.exec(), 0);
    }
};

QTEST_MAIN(TestFrameless)
#include "tst_frameless.moc"
