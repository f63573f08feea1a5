// VantelServer: the management console. It runs the management engine and watches the other two
// server hosts of the machine.
#include <QApplication>
#include <QDir>
#include <QResource>

#include "LumoSServer/LumoSServer.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/VantelLog.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "consoleutility.h"
#include "serverdata.h"
#include "startup.h"
#include "vantelserver.h"

int main(int argc, char** argv) {
    // Every message of the program also goes to its log file, whoever started it.
    VantelLogInstall();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VantelServer"));
    const QString appDir = QCoreApplication::applicationDirPath();
    if (!StartCrashReporter(appDir, QStringLiteral("s"))) {
        VantelDBG_Printf_f(0x7fff, 1, "main", "!!!!!!!!!!!====>~~Start crashpad failed using default");
        VantelServerStartup::InstallMiniDumpFilter(appDir, QCoreApplication::applicationName());
    }
    // Every relative file name from here on means the program's directory.
    QDir::setCurrent(VantelUtility::GetModuleFileInformations());
    LumoSInitialize();
    VantelDBG_SetLevelMask(0x7fff, 7);
    QResource::registerResource(appDir + QStringLiteral("/vantelres.xdll"), QString());
    VantelCloudAccount::SetClientNo(
        VantelUtility::SetP2PClinetID(ServerDataStore::SettingsFile()).toStdString());
    LoadStyleSheet();
    const QString passwordProblem = VantelServerStartup::ApplyInfoSettings(ServerDataStore::SettingsFile());
    ConsoleUtility::Instance()->LoadInitialLanguage();

    SingleApp guard;
    if (guard.IsRunning()) {
        if (!VantelServerStartup::IsSilentStart(QCoreApplication::arguments().mid(1)))
            INFRA::MessageBox::Warning(nullptr, QString(),
                                       guard.GetAppName() + QLatin1Char(' ') + QObject::tr("K6859_Runnig"));
        LumoSInvalidate();
        return 0;
    }

    auto* window = new VantelServer(nullptr, &guard);
    window->GetTendrel().Init(argv[0], QCoreApplication::applicationPid());
    if (!passwordProblem.isEmpty())
        window->ShowBalloon(QObject::tr("K3745_Error"), passwordProblem, QSystemTrayIcon::Critical, 30000);
    QGuiApplication::setQuitOnLastWindowClosed(false);
    const int code = app.exec();
    delete window;
    LumoSInvalidate();
    return code;
}
