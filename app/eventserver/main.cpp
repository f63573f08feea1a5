// PavoServer: the event server's console.
#include <QApplication>
#include <QDir>
#include <QResource>
#include <memory>

#include "LumoSEvent/LumoSEvent.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/VantelLog.h"
#include "VantelProcess/crashcoredump.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "pavoapplication.h"
#include "restart.h"

int main(int argc, char** argv) {
    // Every message of the program also goes to its log file, whoever started it.
    VantelLogInstall();
    QApplication app(argc, argv);
    // The single-instance lock and the autostart entry go by this name, whatever the file is called.
    QCoreApplication::setApplicationName(INFRA::Customization::GetEventServerName());

    if (!StartCrashReporter(QCoreApplication::applicationDirPath(), QStringLiteral("e"))) {
        VantelDBG_Printf_f(0x7fff, 1, "main", "!!!!!!!!!!!====>~~Start crashpad failed using default");
        CrashCoreDump();
    }
    VantelCloudAccount::SetClientNo(
        VantelUtility::SetP2PClinetID(QStringLiteral("PavoServer.ini")).toStdString());
    // Every relative file name from here on ("PavoServer.ini", "./Languages") means the
    // program's directory.
    QDir::setCurrent(VantelUtility::GetModuleFileInformations());
    QResource::registerResource(QCoreApplication::applicationDirPath() + QStringLiteral("/vantelres.xdll"),
                                QString());
    LumoSEInitialize(nullptr);
    VantelDBG_SetLevelMask(0x7fff, 7);
    VantelUtility::initLanguage();
    LoadStyleSheet();

    auto single = std::make_unique<SingleApp>();
    if (single->IsRunning()) {
        INFRA::MessageBox::Warning(nullptr, QString(),
                                   single->GetAppName() + QLatin1Char(' ') + QObject::tr("K6859_Runnig"));
        LumoSEInvalidate();
        return -1;
    }

    auto* window = new PavoApplication(nullptr);
    window->SetSingleApp(single.get());
    window->GetTendrel().Init(argv[0], QCoreApplication::applicationPid());
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const int loop = app.exec();
    // A saved change of the settings ends the loop like any exit; the program then starts again
    // with them, so that events are served on without the operator.
    const int code = loop == 0 ? window->ExitCode() : loop;

    delete window;
    LumoSEInvalidate();
    if (code == kRestartExitCode) {
        if (!RestartAfterGuard(single, QCoreApplication::applicationFilePath()))
            VantelDBG_Printf_f(0x7fff, 1, "main", "the program could not be started again");
        return kRestartExitCode;
    }
    return code;
}
