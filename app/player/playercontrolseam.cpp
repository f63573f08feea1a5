#include "player/playercontrolseam.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QMenu>
#include <QTimeEdit>
#include <memory>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QAbstractButton>
#include <QJsonDocument>
#include <QLabel>
#include <QJsonObject>
#include <QListWidget>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include "LumoBase/LumoResult.h"
#include "LumoCore/LumoCore.h"
#include "LumoFS/LumoStreamUrl.h"
#include "common/playlist/playlistwidget.h"
#include "player/dialogs/adddiskfile.h"
#include "player/dialogs/addurl.h"
#include "player/dialogs/fileinfo.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"

namespace {

void* Panel() { return CPlayControler::Instance()->GetPanelHandle(); }

QString Result(int code) {
    return code == 0 ? QStringLiteral("ok") : QStringLiteral("error %1").arg(code);
}

}  // namespace

PlayerControlSeam* PlayerControlSeam::StartIfAsked(MainWindow* window) {
    const QString name = qEnvironmentVariable("VANTEL_PLAYER_CONTROL");
    if (name.isEmpty() || !window) return nullptr;
    auto* seam = new PlayerControlSeam(window, name);
    if (!seam->IsListening()) qWarning("player: control socket %s cannot listen", qPrintable(name));
    return seam;
}

PlayerControlSeam::PlayerControlSeam(MainWindow* window, const QString& name)
    : QObject(window), m_window(window), m_server(new QLocalServer(this)) {
    QLocalServer::removeServer(name);
    m_server->listen(name);
    connect(m_server, &QLocalServer::newConnection, this, &PlayerControlSeam::OnConnection);
}

bool PlayerControlSeam::IsListening() const {
    return m_server->isListening();
}

void PlayerControlSeam::OnConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { OnReadable(socket); });
    }
}

void PlayerControlSeam::OnReadable(QLocalSocket* socket) {
    while (socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        const QString answer = Execute(line);
        socket->write(answer.toUtf8() + '\n');
        socket->flush();
    }
}

QString PlayerControlSeam::Execute(const QString& line) {
    MainWindow* w = m_window;
    if (!w) return QStringLiteral("error gone");
    const int space = line.indexOf(QLatin1Char(' '));
    const QString cmd = space < 0 ? line : line.left(space);
    const QString arg = space < 0 ? QString() : line.mid(space + 1).trimmed();
    bool numeric = false;
    const int n = arg.section(QLatin1Char(' '), 0, 0).toInt(&numeric);
    CPlayControler* ctl = CPlayControler::Instance();

    if (cmd == QLatin1String("open")) {
        const QString what = arg.section(QLatin1Char(' '), 1);
        if (!numeric || what.isEmpty()) return QStringLiteral("error usage");
        w->SelectView(n);
        if (LumoIsStreamUrl(what.toStdString())) return Result(w->AddStreamUrl(what, true));
        return w->OpenPaths(QStringList{what}, true) > 0 ? QStringLiteral("ok") : QStringLiteral("error not_accepted");
    }
    if (cmd == QLatin1String("select")) {
        if (!numeric) return QStringLiteral("error usage");
        w->SelectView(n);
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("pause") || cmd == QLatin1String("resume")) {
        const bool paused = w->ViewState(w->SelectedView()) & MainWindow::STATE_PAUSED;
        if (paused != (cmd == QLatin1String("pause"))) w->on_btnPlayorPause_clicked();
        const bool now = w->ViewState(w->SelectedView()) & MainWindow::STATE_PAUSED;
        return now == (cmd == QLatin1String("pause")) ? QStringLiteral("ok") : QStringLiteral("error state");
    }
    if (cmd == QLatin1String("step")) {
        w->on_btnFrame_clicked();
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("faster")) {
        w->on_btnFaster_clicked();
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("slower")) {
        w->on_btnSlower_clicked();
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("stop")) {
        w->on_btnStop_clicked();
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("seek")) {
        if (!numeric) return QStringLiteral("error usage");
        return Result(w->SeekSelectedView(n));
    }
    if (cmd == QLatin1String("snapshot")) {
        QString path;
        const int r = w->Snapshot(w->SelectedView(), &path);
        return r == 0 ? QStringLiteral("ok ") + path : Result(r);
    }
    if (cmd == QLatin1String("volume")) {
        if (!numeric) return QStringLiteral("error usage");
        w->SetVolume(n);
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("mute")) {
        if (!numeric) return QStringLiteral("error usage");
        if ((n != 0) != ctl->GetMute()) w->on_btnVoice_clicked();
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("split")) {
        const int side = n == 1 ? 1 : n == 4 ? 2 : n == 9 ? 3 : n == 16 ? 4 : 0;
        if (!side) return QStringLiteral("error usage");
        w->SetSplit(side);
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("state")) {
        if (!numeric || n < 0 || n >= MainWindow::VIEW_COUNT) return QStringLiteral("error usage");
        const int state = w->ViewState(n);
        int speed = 1;
        ctl->GetSpeed(Panel(), n, &speed);
        CLumoFile* file = nullptr;
        ctl->GetViewFile(Panel(), n, &file);
        qint64 seconds = -1;
        CLumoTime now;
        if (file && ctl->GetPlaybackTime(Panel(), n, &now) == 0 && !now.IsEmpty() && !file->timeS.IsEmpty())
            seconds = now - file->timeS;
        QJsonObject o;
        o.insert(QStringLiteral("open"), bool(state & MainWindow::STATE_OPEN));
        o.insert(QStringLiteral("ended"), bool(state & MainWindow::STATE_END));
        o.insert(QStringLiteral("paused"), bool(state & MainWindow::STATE_PAUSED));
        o.insert(QStringLiteral("speed"), speed);
        o.insert(QStringLiteral("time"), double(seconds));
        o.insert(QStringLiteral("file"), file ? QString::fromUtf8(file->url.c_str()) : QString());
        o.insert(QStringLiteral("status"), w->StatusText(n));
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    if (cmd == QLatin1String("stats")) {
        if (!numeric || n < 0 || n >= MainWindow::VIEW_COUNT) return QStringLiteral("error usage");
        LumoPlayerStats s;
        const int r = LumoPlayerGetStats(ctl->GetPlayer(n), &s);
        if (r != 0) return Result(r);
        QJsonObject o;
        o.insert(QStringLiteral("decoded"), double(s.framesDecoded));
        o.insert(QStringLiteral("presented"), double(s.framesPresented));
        o.insert(QStringLiteral("painted"), double(s.framesPainted));
        o.insert(QStringLiteral("dropped"), double(s.framesDropped));
        o.insert(QStringLiteral("skipped"), double(s.framesSkipped));
        o.insert(QStringLiteral("decoderThreads"), s.decoderThreads);
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    if (cmd == QLatin1String("list")) {
        QStringList urls;
        for (int row = 0; row < w->PlayList()->count(); ++row) {
            const auto* f = reinterpret_cast<const CLumoFile*>(quintptr(w->PlayList()->GetItemId(row)));
            if (f) urls << QString::fromUtf8(f->url.c_str());
        }
        return urls.join(QLatin1Char('\t'));
    }
    if (cmd == QLatin1String("marks")) {
        QStringList marks;
        for (int row = 0; row < w->PlayList()->count(); ++row)
            marks << QString::number(w->PlayList()->GetItemFlags(w->PlayList()->item(row)));
        return marks.join(QLatin1Char(' '));
    }
    if (cmd == QLatin1String("language")) {
        if (arg.isEmpty()) return QStringLiteral("error usage");
        return Result(w->SwitchLanguage(arg));
    }
    if (cmd == QLatin1String("locate")) {
        bool ok = false;
        const qint64 seconds = arg.toLongLong(&ok);
        if (!ok) return QStringLiteral("error usage");
        return Result(w->LocateSeconds(w->SelectedView(), seconds));
    }
    if (cmd == QLatin1String("locatetime")) {
        const QTime time = QTime::fromString(arg, QStringLiteral("HH:mm:ss"));
        CLumoFile* file = nullptr;
        ctl->GetViewFile(Panel(), w->SelectedView(), &file);
        if (!time.isValid()) return QStringLiteral("error usage");
        if (!file || file->timeS.IsEmpty()) return Result(LUMO_ERR_BADPARAM);
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(file->timeS.ToEpochMs());
        return Result(w->LocateTime(w->SelectedView(), QDateTime(start.date(), time)));
    }
    if (cmd == QLatin1String("aspect")) {
        static const QStringList names = {"fill", "original", "4:3", "16:9"};
        const int choice = names.indexOf(arg.section(QLatin1Char(' '), 1));
        if (!numeric || choice < 0) return QStringLiteral("error usage");
        return Result(w->SetAspect(n, choice));
    }
    if (cmd == QLatin1String("info")) {
        PlayFileInfo info;
        if (!numeric || !w->ViewFileInfo(n, &info)) return Result(LUMO_ERR_BADPARAM);
        FileInfo dialog(w);
        dialog.SetFile(info);
        QJsonObject o;
        for (const QLabel* label : dialog.findChildren<QLabel*>())
            if (!label->objectName().isEmpty() && label->isVisibleTo(&dialog))
                o.insert(label->objectName(), label->text());
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    if (cmd == QLatin1String("url")) {
        if (!LumoIsStreamUrl(arg.toStdString())) return QStringLiteral("error not_playable");
        QString url = arg;
        w->on_url_add(&url);
        return w->FindRowByUrl(url.trimmed().toUtf8().toStdString()) >= 0 ? QStringLiteral("ok")
                                                                          : QStringLiteral("error not_added");
    }
    if (cmd == QLatin1String("cut")) {
        // As if the operator had dragged the slider to that second first (when given); the press
        // runs once this answer is out, since its second press opens the modal clip dialog.
        if (!arg.isEmpty()) {
            if (!numeric) return QStringLiteral("error usage");
            w->ProgressSlider()->setValue(n);
        }
        QTimer::singleShot(0, w, &MainWindow::on_btnCut_clicked);
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("cutmark")) {
        const int view = w->SelectedView();
        if (!w->IsCutMarked(view)) return QStringLiteral("none");
        CLumoString text;
        w->CutMark(view).ToString(text, false);
        return QString::fromUtf8(text.GetBuffer());
    }
    if (cmd == QLatin1String("lastcut")) {
        const MainWindow::CutResult& r = w->LastCutResult();
        QJsonObject o;
        o.insert(QStringLiteral("result"), int(r.result));
        o.insert(QStringLiteral("source"), r.source);
        o.insert(QStringLiteral("output"), r.output);
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    if (cmd == QLatin1String("modal")) {
        QWidget* modal = QApplication::activeModalWidget();
        return modal ? QString::fromLatin1(modal->metaObject()->className()) : QStringLiteral("none");
    }
    if (cmd == QLatin1String("accept") || cmd == QLatin1String("reject")) {
        // The Ok (or Cancel) button of the open modal dialog, pressed as the operator would.
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return QStringLiteral("error none");
        const auto which = cmd == QLatin1String("accept") ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel;
        for (QDialogButtonBox* box : modal->findChildren<QDialogButtonBox*>()) {
            if (QPushButton* b = box->button(which)) {
                QTimer::singleShot(0, b, &QPushButton::click);
                return QStringLiteral("ok");
            }
        }
        return QStringLiteral("error no_button");
    }
    if (cmd == QLatin1String("menu")) {
        // menu add|basic|list <key>, or menu view <view> <key>: the entry triggered as a click would.
        const QStringList parts = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        std::unique_ptr<QMenu> menu;
        QString key;
        if (parts.size() == 2 && parts[0] == QLatin1String("add")) menu.reset(w->BuildAddMenu());
        else if (parts.size() == 2 && parts[0] == QLatin1String("basic")) menu.reset(w->BuildBasicMenu());
        else if (parts.size() == 2 && parts[0] == QLatin1String("list")) menu.reset(w->BuildListMenu());
        else if (parts.size() == 3 && parts[0] == QLatin1String("view")) menu.reset(w->BuildViewMenu(parts[1].toInt()));
        else return QStringLiteral("error usage");
        key = parts.last();
        if (!menu) return QStringLiteral("error no_menu");
        for (QAction* a : menu->findChildren<QAction*>()) {
            if (a->objectName() != key) continue;
            if (!a->isEnabled() || !a->isVisible()) return QStringLiteral("error disabled");
            // After this answer: the entry may open a modal dialog.
            QTimer::singleShot(0, w, [a, holder = std::shared_ptr<QMenu>(menu.release())]() { a->trigger(); });
            return QStringLiteral("ok");
        }
        return QStringLiteral("error no_entry");
    }
    if (cmd == QLatin1String("play")) {
        if (!numeric) return QStringLiteral("error usage");
        return Result(w->PlayRow(n));
    }
    if (cmd == QLatin1String("disks") || cmd == QLatin1String("disksearch")) {
        auto* dialog = w->findChild<AddDiskFile*>();
        if (!dialog || !dialog->isVisible()) return QStringLiteral("error no_dialog");
        if (dialog->IsBusy()) return QStringLiteral("busy");
        auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("comboBoxDisk"));
        if (cmd == QLatin1String("disks")) {
            QStringList names;
            for (int i = 0; combo && i < combo->count(); ++i) names << combo->itemText(i);
            return names.join(QLatin1Char('\t'));
        }
        // disksearch <yyyy-MM-dd> <hh:mm:ss> <yyyy-MM-dd> <hh:mm:ss> <all | channel,channel...>
        const QStringList p = arg.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (p.size() != 5) return QStringLiteral("error usage");
        const QDate d1 = QDate::fromString(p[0], Qt::ISODate), d2 = QDate::fromString(p[2], Qt::ISODate);
        const QTime t1 = QTime::fromString(p[1], QStringLiteral("HH:mm:ss")),
                    t2 = QTime::fromString(p[3], QStringLiteral("HH:mm:ss"));
        if (!d1.isValid() || !d2.isValid() || !t1.isValid() || !t2.isValid()) return QStringLiteral("error usage");
        dialog->findChild<QDateEdit*>(QStringLiteral("dateEditS"))->setDate(d1);
        dialog->findChild<QTimeEdit*>(QStringLiteral("timeEditS"))->setTime(t1);
        dialog->findChild<QDateEdit*>(QStringLiteral("dateEditE"))->setDate(d2);
        dialog->findChild<QTimeEdit*>(QStringLiteral("timeEditE"))->setTime(t2);
        // The channel buttons are clicked as the operator would.
        auto* allButton = dialog->findChild<QPushButton*>(QStringLiteral("btnChannalAll"));
        const auto channel = [dialog](int n) { return dialog->findChild<QPushButton*>(QStringLiteral("btnChannal%1").arg(n)); };
        if (!allButton) return QStringLiteral("error no_button");
        if (allButton->isChecked()) allButton->click();
        for (int c = 1; c <= 64; ++c)
            if (QPushButton* b = channel(c); b && b->isChecked()) b->click();
        if (p[4] == QLatin1String("all")) {
            allButton->click();
        } else {
            for (const QString& c : p[4].split(QLatin1Char(','))) {
                QPushButton* b = channel(c.toInt());
                if (!b) return QStringLiteral("error usage");
                if (!b->isChecked()) b->click();
            }
        }
        auto* box = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        QPushButton* ok = box ? box->button(QDialogButtonBox::Ok) : nullptr;
        if (!ok) return QStringLiteral("error no_button");
        QTimer::singleShot(0, ok, &QPushButton::click);
        return QStringLiteral("ok");
    }
    if (cmd == QLatin1String("widget")) {
        if (arg.isEmpty()) return QStringLiteral("error usage");
        QWidget* found = nullptr;
        for (QWidget* top : {QApplication::activeModalWidget(), static_cast<QWidget*>(w)})
            if (top && !found) found = top->objectName() == arg ? top : top->findChild<QWidget*>(arg);
        if (!found) return QStringLiteral("error none");
        const QPoint at = found->mapToGlobal(QPoint(0, 0));
        QJsonObject o;
        o.insert(QStringLiteral("x"), at.x());
        o.insert(QStringLiteral("y"), at.y());
        o.insert(QStringLiteral("w"), found->width());
        o.insert(QStringLiteral("h"), found->height());
        o.insert(QStringLiteral("visible"), found->isVisible());
        o.insert(QStringLiteral("enabled"), found->isEnabled());
        o.insert(QStringLiteral("toolTip"), found->toolTip());
        o.insert(QStringLiteral("active"), found->isActiveWindow());
        o.insert(QStringLiteral("focus"), found->hasFocus());
        if (const auto* b = qobject_cast<QAbstractButton*>(found)) o.insert(QStringLiteral("checked"), b->isChecked());
        if (const auto* s = qobject_cast<QAbstractSlider*>(found)) {
            o.insert(QStringLiteral("value"), s->value());
            o.insert(QStringLiteral("minimum"), s->minimum());
            o.insert(QStringLiteral("maximum"), s->maximum());
            o.insert(QStringLiteral("down"), s->isSliderDown());
        }
        if (const auto* s = qobject_cast<QSlider*>(found)) {
            // Where its style draws the handle now.
            QStyleOptionSlider opt;
            opt.initFrom(s);
            opt.orientation = s->orientation();
            opt.minimum = s->minimum();
            opt.maximum = s->maximum();
            opt.sliderPosition = s->sliderPosition();
            opt.sliderValue = s->value();
            opt.singleStep = s->singleStep();
            opt.pageStep = s->pageStep();
            opt.tickPosition = s->tickPosition();
            opt.tickInterval = s->tickInterval();
            opt.upsideDown = s->orientation() == Qt::Horizontal
                                 ? s->invertedAppearance() != (s->layoutDirection() == Qt::RightToLeft)
                                 : !s->invertedAppearance();
            const QRect handle = s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s);
            const QPoint handleAt = s->mapToGlobal(handle.topLeft());
            o.insert(QStringLiteral("handle"), QJsonObject{{QStringLiteral("x"), handleAt.x()},
                                                           {QStringLiteral("y"), handleAt.y()},
                                                           {QStringLiteral("w"), handle.width()},
                                                           {QStringLiteral("h"), handle.height()}});
        }
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    }
    if (cmd == QLatin1String("pending")) return QString::number(w->PendingIntakes());
    if (cmd == QLatin1String("quit")) {
        // After the answer has gone out.
        QTimer::singleShot(0, w, &MainWindow::on_btnClose_clicked);
        return QStringLiteral("ok");
    }
    return QStringLiteral("error unknown");
}
