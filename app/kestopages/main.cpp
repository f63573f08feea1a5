// KestoPages: opens the client settings dialog on its own (and is where the record-server page
// of a recorder will open).
#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QResource>
#include <cstdio>

#include "LumoCClient/LumoCClient.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "kestopagesargs.h"
#include "settings/sysconfig.h"
#include "ui_sysconfig.h"

int main(int argc, char** argv) {
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
        case KestoPagesArgs::Recorder:
            std::fprintf(stderr,
                         "KestoPages: the record-server page is not available in this build (recorder %s).\n",
                         qPrintable(args.recorder));
            return 3;
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

    SysConfig* dialog =
        args.mode == KestoPagesArgs::Preview ? new PreviewPageConfigure(nullptr) : new SysConfig(nullptr);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(QObject::tr("K2000_SystemSetting"));
    if (args.page >= 0) dialog->GetUi()->listWidget->setCurrentRow(args.page);
    dialog->resize(985, 740);
    dialog->show();
    return app.exec();
}
