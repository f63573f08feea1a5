// Opens the record-server page bound to a running recorder, fills each of its four pages as an
// operator would (streams of the first channel, blocks of the first disk, a search of every
// camera) and saves a picture of each, for a person to look at (run under an X server, e.g.
// xvfb-run; copied next to the programs, whose languages, style sheets and resources it uses).
// Usage: shot_record_server_page <recorder URL> <English|Chinese> <output folder>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPushButton>
#include <QResource>
#include <QTableView>
#include <cstdio>

#include "LumoCClient/LumoCClient.h"
#include "VantelCore/VantelCore.h"
#include "VantelInfraAPI/vanteltabledelegate.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "models/vmrmodels.h"
#include "pagerecordserverconfig.h"

namespace {

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Presses a row button as the delegate reports a click.
void Press(QTableView* view, int row, int column, int action) {
    auto* delegate = qobject_cast<VantelDelegate*>(view->itemDelegate());
    if (delegate && view->model()->rowCount() > row)
        emit delegate->SignalActionTriggered(view, view->model()->index(row, column), action);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <recorder URL> <English|Chinese> <output folder>\n", argv[0]);
        return 2;
    }
    QResource::registerResource(QCoreApplication::applicationDirPath() + "/vantelres.xdll", QString());
    VantelUtility::initLanguage(QString::fromUtf8(argv[2]));
    LoadStyleSheet();
    const QString out = QString::fromLocal8Bit(argv[3]);
    QDir().mkpath(out);

    const int64_t id = LumoCAddRecorder(argv[1]);
    IVantelDataDEV* dev = IVantelDataDEV::CreateObject();
    if (id < 0 || LumoCGetDev(nullptr, id, dev) != 0) {
        std::fprintf(stderr, "no recorder in %s\n", argv[1]);
        return 1;
    }
    PageRecordServerConfig page;
    page.SetDevice(dev);
    dev->Release();
    page.Init();
    page.resize(1048, 678);
    page.show();
    WaitFor([&]() { return !page.IsRefreshing(); }, 10000);
    Ui::PageRecordServerConfig& ui = page.GetForm();

    Press(ui.m_table_channel, 0, 4, 0);
    Press(ui.m_table_disk_status, 0, 5, 0);
    WaitFor([&]() { return page.GetBlockModel()->GetRowCount() > 0; }, 10000);
    ui.m_cmb_cuid->setCurrentIndex(-1);
    ui.m_cmb_cuid->setEditText(QString());
    ui.m_button_search->click();
    WaitFor([&]() { return page.GetRecordFileModel()->GetRowCount() > 0; }, 10000);

    for (int i = 0; i < 4; ++i) {
        ui.m_listWidget->setCurrentRow(i);
        Wait(500);
        const QString file = QDir(out).filePath(QStringLiteral("page%1-%2.png").arg(i).arg(argv[2]));
        if (!page.grab().save(file)) std::fprintf(stderr, "could not save %s\n", qPrintable(file));
    }
    return 0;
}
