#include "lumoc/playback/downloaditemwidget.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QEvent>
#include <QLayout>
#include <QListWidgetItem>
#include <QMenu>
#include <QStyle>

#include "VantelInfraAPI/formwidgets.h"
#include "ui_downloaditemwidget.h"

DownLoadItemWidget::DownLoadItemWidget(QWidget* parent) : QWidget(parent), ui(new Ui::DownLoadItemWidget) {
    ui->setupUi(this);
    ui->progressBar_downloadProgress->setValue(0);
    // The show-in-folder button is 100 wide, or as wide as its text needs in the language and
    // style in use (the form gives it a fixed size policy and that least width), under the bar
    // where the speed line was.
    ui->horizontalLayout->setAlignment(ui->m_btnShowFile, Qt::AlignLeft);

    // Pictures of the platform's style; the program's style sheets may replace them.
    QStyle* s = style();
    ui->m_btnOrderUp->setIcon(s->standardIcon(QStyle::SP_ArrowUp));
    ui->m_btnOrderDown->setIcon(s->standardIcon(QStyle::SP_ArrowDown));
    ui->m_btnPlay->setIcon(s->standardIcon(QStyle::SP_MediaPlay));
    ui->pushButton_deltask->setIcon(s->standardIcon(QStyle::SP_TrashIcon));
    ui->pushButton_cancel->setIcon(s->standardIcon(QStyle::SP_MediaStop));
    ui->m_btnBlank->setAutoRaise(true);
    // The icon buttons keep their 25 by 25 whatever paddings a style sheet gives text buttons.
    setStyleSheet(QStringLiteral("QPushButton#pushButton_deltask, QPushButton#pushButton_cancel "
                                 "{ padding: 0px; min-width: 25px; min-height: 25px; }"));
    for (QWidget* w : {static_cast<QWidget*>(ui->pushButton_deltask), static_cast<QWidget*>(ui->m_btnPlay),
                       static_cast<QWidget*>(ui->pushButton_cancel), static_cast<QWidget*>(ui->m_btnOrderUp),
                       static_cast<QWidget*>(ui->m_btnOrderDown)})
        w->setToolTipDuration(10000);

    menu = new QMenu();
    quickTopAction = new QAction(menu);
    quickTopAction->setData(QStringLiteral("quicktop"));
    clearAction = new QAction(menu);
    clearAction->setData(QStringLiteral("clear"));
    menu->addAction(quickTopAction);
    menu->addAction(clearAction);
    connect(menu, &QMenu::triggered, this, &DownLoadItemWidget::OnMenuTriggered);

    connect(ui->pushButton_cancel, &QPushButton::clicked, this, &DownLoadItemWidget::signal_stopDown);
    connect(ui->pushButton_deltask, &QPushButton::clicked, this, &DownLoadItemWidget::signal_delTask);
    connect(ui->m_btnShowFile, &QPushButton::clicked, this, &DownLoadItemWidget::signal_showFile);
    connect(ui->m_btnPlay, &QToolButton::clicked, this, &DownLoadItemWidget::signal_playfile);
    connect(ui->m_btnOrderUp, &QToolButton::clicked, this, &DownLoadItemWidget::signal_orderUp);
    connect(ui->m_btnOrderDown, &QToolButton::clicked, this, &DownLoadItemWidget::signal_orderDown);
    ui->label_downItemName->SetElidedMode(Qt::ElideMiddle);
    Retranslate();
}

DownLoadItemWidget::~DownLoadItemWidget() {
    disconnect(ui->pushButton_cancel, nullptr, this, nullptr);
    disconnect(ui->pushButton_deltask, nullptr, this, nullptr);
    delete menu;  // and its actions
    delete ui;
}

void DownLoadItemWidget::Retranslate() {
    ui->pushButton_deltask->setToolTip(QObject::tr("K0008_Delete"));
    ui->m_btnPlay->setToolTip(QObject::tr("K3533_Play"));
    ui->pushButton_cancel->setToolTip(QObject::tr("K3516_StopDownload"));
    ui->m_btnShowFile->setText(QObject::tr("K3558_ShowInFolder"));
    quickTopAction->setText(QObject::tr("K5326_QuickTop"));
    clearAction->setText(QObject::tr("K6498_ClearAll"));
}

void DownLoadItemWidget::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        Retranslate();
        if (state == StateWaiting) ui->label_speed->setText(QObject::tr("K3557_Waiting"));
    }
    QWidget::changeEvent(event);
}

bool DownLoadItemWidget::event(QEvent* event) {
    const bool done = QWidget::event(event);
    // A text, a shown or hidden button or a new width can change the height the row needs.
    if (event->type() == QEvent::LayoutRequest || event->type() == QEvent::Resize) FitListItem();
    return done;
}

void DownLoadItemWidget::FitListItem() {
    if (!listItem || !layout()) return;
    ensurePolished();  // the style sheet's paddings count
    QLayout* grid = layout();
    const int w = width();
    const int need = grid->hasHeightForWidth() && w > 0 ? grid->totalHeightForWidth(w) : grid->totalSizeHint().height();
    const int h = qMax(int(MinRowHeight), qMax(need, grid->totalMinimumSize().height()));
    if (listItem->sizeHint().height() != h) listItem->setSizeHint(QSize(0, h));
}

int DownLoadItemWidget::NeededWidth() const {
    ensurePolished();
    const QLayout* grid = layout();
    const autoFitLabel* label = ui->label_downItemName;
    // The name label's chrome (frame, margins) does not depend on its size.
    const int labelChrome = label->width() - label->contentsRect().width();
    const int nameWidth = label->fontMetrics().horizontalAdvance(label->FullText()) + labelChrome + 1;
    // The folder button shares the column, also while it waits for the download's end.
    const int column = qMax(nameWidth, qMax(ui->m_btnShowFile->minimumWidth(), ui->m_btnShowFile->sizeHint().width()));
    // Beside them: the two button columns (the blank one always shows, and one of the last).
    const QMargins m = grid->contentsMargins();
    const int beside = 2 * ui->gridLayout->horizontalSpacing() + ui->m_btnBlank->minimumWidth() +
                       ui->pushButton_deltask->minimumWidth();
    return qMax(grid->totalMinimumSize().width(), m.left() + column + beside + m.right());
}

void DownLoadItemWidget::SetState(int s) {
    if (s < StateWaiting || s > StateFailed) return;
    state = s;
    ui->m_btnBlank->show();
    ui->pushButton_cancel->setVisible(s == StateDownloading);
    ui->pushButton_deltask->setVisible(s != StateDownloading);
    ui->m_btnPlay->setVisible(s == StateEnded);
    ui->m_btnShowFile->setVisible(s == StateEnded);
    ui->label_speed->setVisible(s != StateEnded);
    if (s == StateFailed) ui->label_speed->setText(failText);
}

void DownLoadItemWidget::SetFailText(const QString& text) {
    failText = text;
    if (state == StateFailed) ui->label_speed->setText(text);
}

void DownLoadItemWidget::SetOrderButtonsVisible(bool visible) {
    ui->m_btnOrderUp->setVisible(visible);
    ui->m_btnOrderDown->setVisible(visible);
}

void DownLoadItemWidget::SetProgress(int percent) {
    ui->progressBar_downloadProgress->setValue(percent);
}

void DownLoadItemWidget::SetItemName(const QString& text) {
    ui->label_downItemName->setText(text);
}

QString DownLoadItemWidget::SpeedText(unsigned s) {
    if (s > 8u * 1024 * 1024) return QStringLiteral("%1MB/s").arg(s >> 23);
    if (s > 8192) return QStringLiteral("%1KB/s").arg(s >> 13);
    if (s > 8) return QStringLiteral("%1B/s").arg(s >> 3);
    return QStringLiteral("%1b/s").arg(s);
}

QString DownLoadItemWidget::SizeText(uint64_t n) {
    if (n > 1048576) return QStringLiteral("%1MB").arg(n >> 20);
    if (n > 1024) return QStringLiteral("%1KB").arg(n >> 10);
    return QStringLiteral("%1B").arg(n);
}

QString DownLoadItemWidget::TimeLeftText(uint64_t t) {
    const char* key;
    uint64_t n;
    if (t >= 7200) {
        key = "K3584_Hours";
        n = t / 3600;
    } else if (t >= 3601) {
        key = "K3552_Hour";
        n = t / 3600;
    } else if (t >= 120) {
        key = "K3583_Minutes";
        n = t / 60;
    } else if (t >= 61) {
        key = "K3553_Minute";
        n = t / 60;
    } else if (t >= 2) {
        key = "K3582_Seconds";
        n = t;
    } else {
        key = "K3554_Second";
        n = t;
    }
    return QStringLiteral("%1 ").arg(n) + QObject::tr(key);
}

void DownLoadItemWidget::UpdateText(unsigned speed, uint64_t done, uint64_t total, uint64_t seconds) {
    if (state == StateWaiting) {
        ui->label_speed->setText(QObject::tr("K3557_Waiting"));
        return;
    }
    if (state == StateEnded) {
        ui->progressBar_downloadProgress->setValue(100);
        return;
    }
    if (state == StateFailed) return;  // keeps the reason
    if (speed == NoSpeed) {
        ui->label_speed->clear();
        return;
    }
    const QString line = QStringLiteral("%1 - %2,") + QObject::tr("K3556_TotalFileSize") +
                         QStringLiteral(" ") + QStringLiteral("%3,") + QObject::tr("K3555_FileSizeLeft") +
                         QStringLiteral(" ") + QStringLiteral("%4");
    ui->label_speed->setText(
        line.arg(SpeedText(speed)).arg(SizeText(done)).arg(SizeText(total)).arg(TimeLeftText(seconds)));
}

void DownLoadItemWidget::contextMenuEvent(QContextMenuEvent*) {
    menu->exec(QCursor::pos());
}

void DownLoadItemWidget::OnMenuTriggered(QAction* action) {
    if (!action) return;
    const QString data = action->data().toString();
    if (data == QLatin1String("quicktop"))
        emit signal_quicktop();
    else if (data == QLatin1String("clear"))
        emit signal_clear();
}
