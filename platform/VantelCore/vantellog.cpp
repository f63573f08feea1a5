#include "VantelCore/VantelLog.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <cstring>

#include "LumoBase/lumoprint.h"

namespace {

// Qt's kinds on the log's levels: 1 error, 2 warning, 3 info, 4 detail.
int levelOf(QtMsgType type) {
    switch (type) {
    case QtDebugMsg: return 4;
    case QtInfoMsg: return 3;
    case QtWarningMsg: return 2;
    case QtCriticalMsg:
    case QtFatalMsg: return 1;
    }
    return 4;
}

void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QByteArray text = message.toUtf8();
    const char* category = context.category && std::strcmp(context.category, "default") != 0 ? context.category
                                                                                                : nullptr;
    VantelLogWrite(levelOf(type), category, text.constData(), static_cast<size_t>(text.size()));
    // Qt ends the program after the handler returns from a fatal message.
}

void printSink(const char* text, size_t size) { VantelLogWrite(3, nullptr, text, size); }

}  // namespace

void VantelLogInstall() {
    qInstallMessageHandler(&messageHandler);
    LumoSetPrintSink(&printSink);
}
