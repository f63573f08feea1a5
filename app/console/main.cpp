// KestoServer: the recording server's console.
#include <QApplication>
#include <QDir>
#include <QResource>

#include "LumoSRecord/LumoSRecord.h"
#include "VantelCore/VantelCore.h"
#include "VantelCore/VantelLog.h"
#include "VantelProcess/crashcoredump.h"
#include "VantelInfraAPI/customization.h"
#include "VantelInfraAPI/messagebox.h"
#include "VantelProcess/singleapp.h"
#include "VantelInfraAPI/vantelutility.h"
#include "consoleshell.h"
#include "kestorecordserver.h"

int main(int argc, char** argv) {
    // Every message of the program also goes to its log file, whoever started it.
    VantelLogInstall();
    QApplication app(argc, argv);
    // The single-instance lock and the autostart entry go by this name, whatever the file is called.
    QCoreApplication::setApplicationName(INFRA::Customization::GetRecorderServerName());

    if (!StartCrashReporter(QCoreApplication::applicationDirPath())) {
        VantelDBG_Printf_f(0x7fff, 1, "main", "!!!!!!!!!!!====>~~Start crashpad failed using default");
        CrashCoreDump();
    }

    VantelCloudAccount::SetClientNo(
        VantelUtility::SetP2PClinetID(QStringLiteral("kestoconfig.ini")).toStdString());
    QResource::registerResource(QCoreApplication::applicationDirPath() + QStringLiteral("/vantelres.xdll"),
                                QString());
    LumoSRInitialize(nullptr);
    VantelDBG_SetLevelMask(0x7fff, 7);
    const QString language = VantelUtility::initLanguage();
    Q_UNUSED(language)
    // Every relative file name from here on ("kestoconfig.ini", "./Languages") means the
    // program's directory.
    QDir::setCurrent(VantelUtility::GetModuleFileInformations());
    LoadStyleSheet();

    SingleApp single;
    if (single.IsRunning()) {
        INFRA::MessageBox::Information(nullptr, QString(),
                                       single.GetAppName() + QLatin1Char(' ') + QObject::tr("K6859_Runnig"));
        LumoSRInvalidate();
        return -1;
    }

    auto* window = new KestoRecordServer(nullptr);
    window->SetSingleApp(&single);
    window->GetTendrel().Init(argv[0], QCoreApplication::applicationPid());

    QGuiApplication::setQuitOnLastWindowClosed(false);
    const int code = app.exec();

    delete window;
    LumoSRInvalidate();
    return code;
}
