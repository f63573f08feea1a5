#include "VantelInfraAPI/busyloading.h"

#include <QEvent>
#include <QFutureWatcher>
#include <QPainter>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include "VantelInfraAPI/testseams.h"

namespace INFRA {

BusyLoading::BusyLoading(QWidget* parent)
    : QWidget(parent, parent ? Qt::Widget : Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("InfraBusyLoading"));
    setAttribute(Qt::WA_TranslucentBackground, parent == nullptr);
    if (parent) {
        setGeometry(parent->rect());
        parent->installEventFilter(this);
    } else {
        resize(96, 96);
    }
    m_spin = new QTimer(this);
    m_spin->setInterval(60);
    connect(m_spin, &QTimer::timeout, this, [this]() {
        m_angle = (m_angle + 30) % 360;
        update();
    });
}

BusyLoading::~BusyLoading() {
    // The worker may still use its receiver; see WaitForWorkers for a receiver that is our parent.
    if (m_running) m_future.waitForFinished();
}

void BusyLoading::WaitForWorkers(QObject* owner) {
    if (owner) qDeleteAll(owner->findChildren<BusyLoading*>());
}

BusyLoading* BusyLoading::animate(QWidget* parent, std::function<int()> job) {
    auto* b = new BusyLoading(parent);
    b->start(std::move(job));
    return b;
}

void BusyLoading::start(std::function<int()> job) {
    m_running = true;
    raise();
    show();
    m_spin->start();
    if (TestSeams::BusySynchronous()) {
        const int r = job();
        QMetaObject::invokeMethod(
            this, [this, r]() { finish(r); }, Qt::QueuedConnection);
        return;
    }
    auto* watcher = new QFutureWatcher<int>(this);
    connect(watcher, &QFutureWatcher<int>::finished, this, [this, watcher]() { finish(watcher->result()); });
    m_future = QtConcurrent::run(std::move(job));
    watcher->setFuture(m_future);
}

void BusyLoading::finish(int result) {
    m_running = false;
    m_spin->stop();
    hide();
    emit returned(result);
    deleteLater();
}

bool BusyLoading::eventFilter(QObject* o, QEvent* e) {
    if (o == parentWidget() && e->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(o, e);
}

void BusyLoading::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (parentWidget()) p.fillRect(rect(), QColor(0, 0, 0, 60));
    const int side = 48;
    const QRectF r(width() / 2.0 - side / 2.0, height() / 2.0 - side / 2.0, side, side);
    QPen track(QColor(255, 255, 255, 90), 5);
    p.setPen(track);
    p.drawEllipse(r);
    QPen arc(QColor(0x1f, 0x6f, 0xb2), 5, Qt::SolidLine, Qt::RoundCap);
    p.setPen(arc);
    p.drawArc(r, -m_angle * 16, 100 * 16);
}

}  // namespace INFRA
