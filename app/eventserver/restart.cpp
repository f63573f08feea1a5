#include "restart.h"

#include <QProcess>

#include "VantelProcess/singleapp.h"

bool RestartAfterGuard(std::unique_ptr<SingleApp>& guard, const QString& program,
                       const QStringList& arguments) {
    guard.reset();
    return QProcess::startDetached(program, arguments);
}
