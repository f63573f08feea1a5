// VantelPlayer: the record player.
#include <QApplication>
#include <QIcon>
#include <QResource>
#include <QSessionManager>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "VantelCore/VantelLog.h"
#include "VantelProcess/singleapp.h"
#include "player/mainwindow.h"
#include "player/playcontroler.h"
#include "player/playercontext.h"
#include "player/playercontrolseam.h"

namespace {

// SIGTERM and SIGINT end the event loop like the close button: the handler only writes a byte
// to a socket pair, which the GUI thread reads.
int g_signalFds[2] = {-1, -1};

void OnTermSignal(int) {
    const char byte = 1;
    const ssize_t written = ::write(g_signalFds[0], &byte, 1);
    (void)written;
}

void WatchTermSignals(QObject* parent, QWidget* window) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0) return;
    // Neither end may block: the handler must return, and the reader drains what is there.
    ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(g_signalFds[1], F_SETFL, O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, window, [window]() {
        char byte;
        while (::read(g_signalFds[1], &byte, 1) == 1) {
        }
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = OnTermSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // Every message of the program also goes to its log file, whoever started it.
    VantelLogInstall();
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("VantelPlayer"));
    QResource::registerResource(QCoreApplication::applicationDirPath() + QStringLiteral("/vantelres.xdll"));

    SingleApp single;
    if (single.IsRunning()) return -1;

    CPlayerContext* ctx = CPlayerContext::Instance();
    QString error;
    if (!ctx->LoadConfig(&error) && !error.isEmpty()) qWarning("player: %s", qPrintable(error));
    ctx->LoadLanguage(ctx->settings.language);
    ctx->ApplyFont();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/VantelPlayer/Resources/logo.png")));

    int code = 0;
    {
        MainWindow window;
        PlayerControlSeam::StartIfAsked(&window);
        WatchTermSignals(&app, &window);
        // A session that ends keeps the settings and the list too.
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &window,
                         [&window](QSessionManager&) { window.SaveState(); });
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&window]() { window.SaveState(); });
        const QStringList args = QCoreApplication::arguments();
        // The first file or stream named plays at once; further ones, and folders, are listed.
        for (int i = 1; i < args.size(); ++i) window.OpenCommandLineFile(args.at(i), i == 1);
        window.show();
        ctx->LoadSkin();
        code = app.exec();
        window.SaveState();
        // Every player ends before the window and the media layer go.
        CPlayControler::Instance()->StopAllViews();
    }
    CPlayControler::Instance()->CoreInvalidate();
    return code;
}
