#include "lumoc/playback/recordserverplayback.h"

#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include "LumoCore/LumoCore.h"
#include "LumoCore/playeropener.h"
#include "LumoSRecord/LumoSRecord.h"
#include "VantelInfraAPI/vantelutility.h"
#include "VantelInfraAPI/videodisplaypanel.h"
#include "lumoc/appsignal.h"
#include "lumoc/playback/playerwidget.h"
#include "ui_recordserverplayback.h"

namespace {

void EndPlayerNow(void* p) {
    LumoPlayerStop(p);
    LumoPlayerClose(p);
}

}  // namespace

RecordServerPlayback::RecordServerPlayback(QWidget* parent)
    : INFRA::FrameLessDialog(parent, Qt::WindowCloseButtonHint),
      ui(new Ui::RecordServerPlayback),
      opener(std::make_unique<lumocore::PlayerOpener>(this)) {
    playerCallback = new ILumoCallback(this, &RecordServerPlayback::OnPlayerSignal);
    ui->setupUi(GetMainWidget());
    setFixedSize(1024, 600);

    panel = new INFRA::VideoDisplayPanel(ui->m_widgetView);
    auto* layout = new QVBoxLayout(ui->m_widgetView);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(panel);
    panel->SetGridLayout(1, 1, -1, -1);
    LumoPlayerTaskCreate(&task, 1);

    timer = new QTimer();
    connect(timer, &QTimer::timeout, this, &RecordServerPlayback::OnTimer);
    connect(this, &RecordServerPlayback::OnEmitStopPlay, this, &RecordServerPlayback::OnStopPlay);
    timer->start(1000);
    // The slider shows the position; only the poll moves it.
    ui->m_player_slider->setEnabled(false);

    appCallback = new ILumoCallback(this, &RecordServerPlayback::OnAppSignal);
    AttachAppSignal(appCallback, &ILumoCallback::OnSignal);
}

RecordServerPlayback::~RecordServerPlayback() {
    DetachAppSignal(appCallback, &ILumoCallback::OnSignal);
    delete appCallback;
    EndPlayer();  // no player event comes after this
    LumoPlayerTaskDelete(task);
    delete panel;
    if (row) row->Release();
    delete timer;
    delete playerCallback;
    delete ui;
}

int RecordServerPlayback::SetFileInfo(IKestoFileInfoAV* r) {
    if (row) row->Release();
    row = r;
    if (row) row->AddRef();
    return 0;
}

QString RecordServerPlayback::ShortName(const IKestoFileInfoAV* r) {
    const tag_LUMOFILEAVINFO* i = r->GetInfo();
    return QString::asprintf("%02d-%04d-%04d-%02d-%d", i->disk, i->block, i->fileIndex, i->channel + 1,
                             i->stream + 1);
}

void RecordServerPlayback::EndPlayer() {
    void* p = player.exchange(nullptr);
    if (opener->Pending()) {
        opener->Cancel();  // the opener ends the player it holds
        return;
    }
    if (p) EndPlayerNow(p);
}

int RecordServerPlayback::Play() {
    if (!row) return -1;
    panel->CreatePlayerWnd(0);
    QWidget* window = panel->GetPlayerWnd(0);
    if (!window) return -1;
    EndPlayer();  // a second play starts over on a new player; the first is not leaked

    void* made = nullptr;
    const int rc = LumoPlayerCreate(&made, window, task);
    if (rc != 0) return rc;
    player.store(made);
    LumoPlayerAttachStream(made, playerCallback, &ILumoCallback::OnSignal);

    CLumoFileDescList files(1);
    auto* desc = new CLumoFileDesc();
    desc->Setup(row->GetInfo());
    desc->SetURI(row->GetURI());
    files.Append(desc);
    recordStart = desc->GetTimeS();
    recordEnd = desc->GetTimeE();

    SetTitle(QObject::tr("K4781_CUID: ") +
             QString::fromUtf8(row->GetInfo()->cuid,
                               int(qstrnlen(row->GetInfo()->cuid, sizeof row->GetInfo()->cuid))) +
             QObject::tr("K4782_--->") + QObject::tr("K3706_FileName") +
             QStringLiteral(" : %1").arg(ShortName(row)));

    opener->Open(made, files, [this](void* p, int rc) { OnOpenFinished(p, rc); });
    return 0;
}

void RecordServerPlayback::OnOpenFinished(void* p, int rc) {
    if (rc == 0) rc = LumoPlayerStart(p);
    if (rc == 0) {
        VantelUtility::SetDisplayScale(p);
        rc = LumoPlayerSeekTime(p, recordStart);
    } else {
        player.store(nullptr);
        EndPlayerNow(p);
    }
    emit OnSignalPlayed(rc);
}

void RecordServerPlayback::OnTimer() {
    if (opener->Pending()) return;
    void* p = player.load();
    unsigned state = 0;
    if (LumoPlayerGetState(p, &state) != 0) return;
    if (state & (LUMO_STATE_END | LUMO_STATE_BUSY)) return;
    CLumoTime now;
    if (LumoPlayerGetPlaybackTime(p, &now) != 0) return;
    // A record of no length stays at 0.
    const QSignalBlocker quiet(ui->m_player_slider);
    ui->m_player_slider->setValue(PlayerWidget::SliderValue(CLumoTime::GetTimeSpan(now, recordStart),
                                                            CLumoTime::GetTimeSpan(recordEnd, recordStart)));
}

void RecordServerPlayback::OnStopPlay() {
    if (!player.load()) return;
    ui->m_player_slider->setValue(0);
    EndPlayer();
}

int RecordServerPlayback::OnPlayerSignal(CLumoObject* owner, int code, void* sender, void*, void*) {
    auto* self = dynamic_cast<RecordServerPlayback*>(owner);
    // The library's thread: only the signal crosses (queued to the GUI thread).
    if (self && code == EventEndOfList && sender && sender == self->player.load())
        emit self->OnEmitStopPlay();
    return 0;
}

int RecordServerPlayback::OnAppSignal(CLumoObject* owner, int code, void*, void*, void*) {
    auto* self = dynamic_cast<RecordServerPlayback*>(owner);
    if (self && code == AppCodeVideoOptions) {
        if (void* p = self->player.load()) VantelUtility::SetDisplayScale(p);
    }
    return 0;
}
