// KestoPages: opens the client settings dialog on its own, or the record-server page bound to a
// recorder given by its URL.
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QResource>
#include <cstdio>

#include "LumoCClient/LumoCClient.h"
#include "VantelCore/VantelLog.h"
#include "VantelCore/urlmask.h"
#include "VantelInfraAPI/vantelutility.h"
#include "VantelCore/VantelCore.h"
#include "consoleshell.h"
#include "kestopagesargs.h"
#include "pagerecordserverconfig.h"
#include "settings/sysconfig.h"
#include "ui_sysconfig.h"

int main(int argc, char** argv) {
    // Every message of the program also goes to its log file, whoever started it.
    VantelLogInstall();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KestoPages"));
    const KestoPagesArgs args = ParseKestoPagesArgs(QCoreApplication::arguments());
    switch (args.mode) {
        case KestoPagesArgs::Invalid:
            std::fprintf(stderr, "KestoPages: %s\n\n%s", qPrintable(args.error), qPrintable(args.usage));
            return 2;
        case KestoPagesArgs::Help:
            std::printf("%s", qPrintable(args.usage));
            return 0;
        default:
            break;
    }

    QResource::registerResource(QCoreApplication::applicationDirPath() + QStringLiteral("/vantelres.xdll"),
                                QString());
    VantelUtility::SetP2PClinetID(QStringLiteral("kestoconfig.ini"));
    if (args.language.isEmpty() || !VantelUtility::initLanguage(args.language)) VantelUtility::initLanguage();
    QDir::setCurrent(VantelUtility::GetModuleFileInformations());
    LoadStyleSheet();
    if (!args.configFile.isEmpty()) LumoCConfiguration::GetLumoCConfig()->SetFilePath(args.configFile);

    if (args.mode == KestoPagesArgs::Recorder) {
        // The recorder becomes a device of the client's list; the page is bound to it.
        const int64_t id = LumoCAddRecorder(args.recorder.toUtf8().constData());
        IVantelDataDEV* device = IVantelDataDEV::CreateObject();
        if (id < 0 || LumoCGetDev(nullptr, id, device) != 0) {
            device->Release();
            std::fprintf(stderr, "KestoPages: \"%s\" names no recorder.\n",
                         qPrintable(VantelMaskUrl(args.recorder)));
            return 2;
        }
        auto* page = new PageRecordServerConfig(nullptr);
        page->setAttribute(Qt::WA_DeleteOnClose);
        page->SetDevice(device);
        device->Release();
        page->Init();
        if (args.page >= 0) page->GetForm().m_listWidget->setCurrentRow(args.page);
        page->resize(1048, 678);
        page->show();
        return app.exec();
    }

    SysConfig* dialog =
        args.mode == KestoPagesArgs::Preview ? new PreviewPageConfigure(nullptr) : new SysConfig(nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QObject::tr("K2000_SystemSetting"));
    if (args.page >= 0) dialog->GetUi()->listWidget->setCurrentRow(args.page);
    dialog->resize(985, 740);
    dialog->show();
    return app.exec();
}
