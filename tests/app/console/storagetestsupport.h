// What the tests of the storage pages share, whichever host shows them: the engine ids of a
// table's rows, a click on a row button as the operator makes it, the lines of one kind in the
// UI log, files written at test time, and the record-server page bound to a recorder's URL as
// KestoPages opens it.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include "LumoCClient/LumoCClient.h"
#include "LumoCore/LumoCore.h"
#include "VantelInfraAPI/vanteldatamodel.h"
#include "VantelInfraAPI/vanteltabledelegate.h"
#include "pagerecordserverconfig.h"
#include "testsupport.h"

namespace storagetest {

// The engine ids of a model's rows, in the order shown.
inline QList<qint64> Ids(const VantelDataModel* model) {
    QList<qint64> out;
    for (int r = 0; r < model->GetRowCount(); ++r) out << model->GetRowData(r)->GetID();
    return out;
}

// Clicks a row button of a table as the operator would.
inline void ClickAction(QTableView* view, int row, int column, int action) {
    const QModelIndex index = view->model()->index(row, column);
    view->scrollTo(index);
    QStyleOptionViewItem option;
    option.rect = view->visualRect(index);
    auto* delegate = qobject_cast<VantelDelegate*>(view->itemDelegate());
    QVERIFY(delegate);
    const QVector<QRect> rects = delegate->ActionButtonRects(option, index);
    QVERIFY(rects.size() > action);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, rects.at(action).center());
}

// The lines of the UI log that tell of that kind ("messagebox", "balloon", "notify"...).
inline QStringList LogLines(const QString& log, const QString& kind) { return vt::UiLogLines(log, kind); }

inline void WriteFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// A small record (two seconds of a test picture) made at `path` with the ffmpeg tool: true
// when it was made.
inline bool MakeClip(const QString& path) {
    QProcess ff;
    ff.start(QStringLiteral("ffmpeg"),
             {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=size=64x48:rate=10",
              "-t", "2", "-c:v", "mpeg4", "-q:v", "5", "-f", "mpegts", path});
    return ff.waitForFinished(30000) && ff.exitStatus() == QProcess::NormalExit && ff.exitCode() == 0;
}

// Whether the media library can play here (a player task can be made).
inline bool MediaCanPlay() {
    void* task = nullptr;
    const bool can = LumoPlayerTaskCreate(&task, 1) == 0 && task;
    LumoPlayerTaskDelete(task);
    return can;
}

// A shown record-server page bound to the recorder at `url` through the client's device list,
// its first reads answered.
inline PageRecordServerConfig* OpenRecorderPage(const QString& url) {
    IVantelDataDEV* dev = IVantelDataDEV::CreateObject();
    LumoCGetDev(nullptr, LumoCAddRecorder(url.toUtf8().constData()), dev);
    auto* page = new PageRecordServerConfig(nullptr);
    page->SetDevice(dev);
    dev->Release();
    page->Init();
    page->resize(1200, 700);
    page->show();
    if (!vt::WaitUntil([page]() { return !page->IsRefreshing(); }, 15000))
        qWarning("the page's reads did not end");
    return page;
}

}  // namespace storagetest
