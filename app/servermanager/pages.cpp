#include "pages.h"

#include <QSystemTrayIcon>

#include "LumoBase/LumoResult.h"
#include "VantelInfraAPI/messagebox.h"
#include "consoleutility.h"
#include "vantelserver.h"

bool VantelServerPages::ExportPath(const QString& path, QByteArray* local) {
    if (ConsoleUtility::LocalPath(path, local)) return true;
    INFRA::MessageBox::Warning(this, QObject::tr("K4604_LbWarning"), QObject::tr("K4591_PathTooLong"));
    return false;
}

int VantelServerPages::ReportExport(int r, const QString& path) {
    if (r != LUMO_OK) {
        // The old file, if any, is still there; a full disk is named so the operator can act.
        const QString text = r == LUMO_ERR_DISKFULL
                                 ? QObject::tr("K4592_ExportFailed") + '\n' + QObject::tr("The disk is full: %1").arg(path)
                                 : QObject::tr("K4592_ExportFailed");
        INFRA::MessageBox::Warning(this, QObject::tr("K4604_LbWarning"), text);
        return r;
    }
    m_owner->ShowBalloon(QObject::tr("K3741_Msg"), QObject::tr("K4593_ExportDone"), QSystemTrayIcon::Information,
                         10000);
    return LUMO_OK;
}
