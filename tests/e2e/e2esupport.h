// What the end-to-end tests share: a virtual X server of their own, copies of program folders
// with the folders and environment of one run, the operator's pointer and keys through the X
// test extension, and ending the processes a test started. Ports, waiting for a condition and
// required tools come from testsupport.h.
#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <dlfcn.h>
#include <functional>

#include "testsupport.h"

namespace e2e {

inline bool CopyTree(const QString& from, const QString& to) {
    QDir().mkpath(to);
    const QFileInfoList entries = QDir(from).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QFileInfo& fi : entries) {
        const QString target = to + QLatin1Char('/') + fi.fileName();
        if (fi.isDir()) {
            if (!CopyTree(fi.absoluteFilePath(), target)) return false;
        } else if (!QFile::copy(fi.absoluteFilePath(), target)) {
            return false;
        }
    }
    return true;
}

// The caller's variables that would change what a program does or where it draws: our own
// (an instance scope, a scripted answer, a fixture path of another run), the engines' and Qt's
// (a scale factor moves every control). Each run sets what it needs itself.
inline QStringList ForeignVariables() {
    QStringList out;
    for (const QString& name : QProcessEnvironment::systemEnvironment().keys()) {
        if (name == QLatin1String("VANTEL_BIN_DIR") || name == QLatin1String("VANTEL_SOURCE_DIR")) continue;
        if (name.startsWith(QLatin1String("VANTEL_")) || name.startsWith(QLatin1String("LUMO_")) ||
            name.startsWith(QLatin1String("QT_")))
            out << name;
    }
    return out;
}
inline QProcessEnvironment CleanEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : ForeignVariables()) env.remove(name);
    return env;
}
// The same for this process, for the programs it starts itself.
inline void ClearForeignVariables() {
    for (const QString& name : ForeignVariables()) qunsetenv(name.toLocal8Bit().constData());
}

// A copy of the built programs with their run-time files (resource bundle, languages, style
// sheets) in <root>/prog, and the folders of one run beside it: home, configuration, runtime,
// logs, temporary. The programs log their message boxes and balloons to <root>/ui.log.
struct ProgramCopy {
    QTemporaryDir root;
    QString prog, log;

    // Copies the named executables of the build's bin folder; a name ending in '?' is copied
    // only when the build has it.
    bool MakeCopy(const QStringList& programs) {
        if (!root.isValid()) return false;
        prog = root.filePath(QStringLiteral("prog"));
        const QString bin = qEnvironmentVariable("VANTEL_BIN_DIR");
        if (!QDir().mkpath(prog)) return false;
        for (QString name : programs) {
            const bool optional = name.endsWith(QLatin1Char('?'));
            if (optional) name.chop(1);
            const QString from = bin + QLatin1Char('/') + name, to = prog + QLatin1Char('/') + name;
            if (optional && !QFileInfo::exists(from)) continue;
            if (!QFile::copy(from, to) ||
                !QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
                return false;
        }
        if (!QFile::copy(bin + QStringLiteral("/vantelres.xdll"), prog + QStringLiteral("/vantelres.xdll")) ||
            !CopyTree(bin + QStringLiteral("/Languages"), prog + QStringLiteral("/Languages")) ||
            !CopyTree(bin + QStringLiteral("/res"), prog + QStringLiteral("/res")))
            return false;
        for (const char* d : {"home", "config", "data", "cache", "runtime", "logs", "tmp"})
            QDir().mkpath(root.filePath(QLatin1String(d)));
        QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        log = root.filePath(QStringLiteral("ui.log"));
        return true;
    }

    // Writes a file of the program folder whole.
    bool WriteProgramFile(const QString& name, const QByteArray& data) const {
        QFile f(prog + QLatin1Char('/') + name);
        return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
    }

    // The variables of one run: the display, the folders, the instance scope (so that runs do
    // not meet each other or a console in use), the UI log and the scripted answer to message
    // boxes (none when reply is empty).
    QMap<QString, QString> RunVariables(const QString& display, const QString& scope,
                                        const QString& reply = QString()) const {
        QMap<QString, QString> v;
        v.insert(QStringLiteral("DISPLAY"), display);
        v.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        v.insert(QStringLiteral("HOME"), root.filePath(QStringLiteral("home")));
        v.insert(QStringLiteral("XDG_CONFIG_HOME"), root.filePath(QStringLiteral("config")));
        v.insert(QStringLiteral("XDG_DATA_HOME"), root.filePath(QStringLiteral("data")));
        v.insert(QStringLiteral("XDG_CACHE_HOME"), root.filePath(QStringLiteral("cache")));
        v.insert(QStringLiteral("XDG_RUNTIME_DIR"), root.filePath(QStringLiteral("runtime")));
        v.insert(QStringLiteral("VANTEL_LOG_DIR"), root.filePath(QStringLiteral("logs")));
        v.insert(QStringLiteral("TMPDIR"), root.filePath(QStringLiteral("tmp")));
        v.insert(QStringLiteral("VANTEL_INSTANCE_SCOPE"), scope);
        v.insert(QStringLiteral("VANTEL_UI_LOG"), log);
        v.insert(QStringLiteral("VANTEL_UI_REPLY"), reply);
        return v;
    }
    QProcessEnvironment Environment(const QString& display, const QString& scope,
                                    const QString& reply = QString()) const {
        QProcessEnvironment env = CleanEnvironment();
        const QMap<QString, QString> v = RunVariables(display, scope, reply);
        for (auto it = v.begin(); it != v.end(); ++it) {
            if (it.value().isEmpty())
                env.remove(it.key());
            else
                env.insert(it.key(), it.value());
        }
        return env;
    }

    // The UI log's lines of one kind ("box", "balloon" ...).
    QStringList LogLines(const QString& kind) const { return vt::UiLogLines(log, kind); }

    // A text as the copy's language file gives it.
    QString Translate(const QString& language, const char* context, const char* key) const {
        QTranslator t;
        if (!t.load(prog + QStringLiteral("/Languages/") + language + QStringLiteral(".qm"))) return QString();
        return t.translate(context, key);
    }
};

// Kills and deletes the processes that are still running.
inline void EndAll(QList<QProcess*>* procs) {
    for (QProcess* p : qAsConst(*procs)) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
        delete p;
    }
    procs->clear();
}

// A virtual X server on a display number it picks itself.
class Xvfb {
public:
    static bool Installed() { return vt::HaveTool(QStringLiteral("Xvfb")); }

    // The display (":N"), or empty when the server did not come up.
    QString Start(const QString& screen = QStringLiteral("1280x800x24")) {
        // -displayfd: the server picks a free display number and writes it to us when ready.
        // -noreset: an X server resets when its last client goes, and a program that connects
        // meanwhile (the next one a test starts, after it killed the last) is turned away.
        m_proc.start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                      QStringLiteral("-screen"), QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
        if (!m_proc.waitForStarted(30000)) return QString();
        vt::WaitUntil([this]() { return m_proc.canReadLine() || m_proc.state() != QProcess::Running; },
                      30000);
        const QByteArray number = m_proc.readLine().trimmed();
        return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
    }

    void Stop() {
        if (m_proc.state() != QProcess::Running) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(3000)) m_proc.kill();
    }

private:
    QProcess m_proc;
};

// The operator at an X display: finds a program's window once the server shows it (mapped and
// viewable, so that input reaches it), moves the pointer, clicks and types through the X test
// extension, and reads the primary selection (what a text field copies when its text is
// selected). Xlib and Xtst are loaded at run time: only the run-time libraries are needed.
// Every action ends with a round trip, so the server has delivered it when the call returns.
class XSession {
public:
    bool Open(const QString& display) {
        m_x11 = dlopen("libX11.so.6", RTLD_NOW);
        m_xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!m_x11 || !m_xtst) return false;
        auto x = [this](const char* name) { return dlsym(m_x11, name); };
        openDisplay = reinterpret_cast<decltype(openDisplay)>(x("XOpenDisplay"));
        closeDisplay = reinterpret_cast<decltype(closeDisplay)>(x("XCloseDisplay"));
        sync = reinterpret_cast<decltype(sync)>(x("XSync"));
        keysymToKeycode = reinterpret_cast<decltype(keysymToKeycode)>(x("XKeysymToKeycode"));
        defaultRoot = reinterpret_cast<decltype(defaultRoot)>(x("XDefaultRootWindow"));
        queryTree = reinterpret_cast<decltype(queryTree)>(x("XQueryTree"));
        getAttributes = reinterpret_cast<decltype(getAttributes)>(x("XGetWindowAttributes"));
        getProperty = reinterpret_cast<decltype(getProperty)>(x("XGetWindowProperty"));
        deleteProperty = reinterpret_cast<decltype(deleteProperty)>(x("XDeleteProperty"));
        internAtom = reinterpret_cast<decltype(internAtom)>(x("XInternAtom"));
        createWindow = reinterpret_cast<decltype(createWindow)>(x("XCreateSimpleWindow"));
        convertSelection = reinterpret_cast<decltype(convertSelection)>(x("XConvertSelection"));
        xfree = reinterpret_cast<decltype(xfree)>(x("XFree"));
        translate = reinterpret_cast<decltype(translate)>(x("XTranslateCoordinates"));
        moveWindow = reinterpret_cast<decltype(moveWindow)>(x("XMoveWindow"));
        sendEvent = reinterpret_cast<decltype(sendEvent)>(x("XSendEvent"));
        getInputFocus = reinterpret_cast<decltype(getInputFocus)>(x("XGetInputFocus"));
        motion = reinterpret_cast<decltype(motion)>(dlsym(m_xtst, "XTestFakeMotionEvent"));
        button = reinterpret_cast<decltype(button)>(dlsym(m_xtst, "XTestFakeButtonEvent"));
        key = reinterpret_cast<decltype(key)>(dlsym(m_xtst, "XTestFakeKeyEvent"));
        // A window may go between listing and asking (a process that ends): Xlib's own handler
        // would end this process on that error; ours ignores it (the call returns nothing).
        using Handler = int (*)(void*, void*);
        auto setErrorHandler = reinterpret_cast<Handler (*)(Handler)>(x("XSetErrorHandler"));
        if (!setErrorHandler) return false;
        setErrorHandler([](void*, void*) { return 0; });
        if (!openDisplay || !closeDisplay || !sync || !keysymToKeycode || !defaultRoot || !queryTree ||
            !getAttributes || !getProperty || !deleteProperty || !internAtom || !createWindow ||
            !convertSelection || !xfree || !translate || !moveWindow || !sendEvent || !getInputFocus || !motion || !button || !key)
            return false;
        m_display = openDisplay(display.toLatin1().constData());
        return m_display != nullptr;
    }
    ~XSession() {
        if (m_display) closeDisplay(m_display);
        if (m_xtst) dlclose(m_xtst);
        if (m_x11) dlclose(m_x11);
    }

    // The screen area of a top-level window of process pid (of the given size, if one is given)
    // that the server shows now; empty while there is none.
    QRect ViewableWindow(qint64 pid, const QSize& size = QSize()) {
        unsigned long root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!queryTree(m_display, defaultRoot(m_display), &root, &parent, &children, &count)) return QRect();
        QRect found;
        for (unsigned i = 0; i < count && found.isNull(); ++i) {
            Attributes a{};
            if (!getAttributes(m_display, children[i], &a) || a.map_state != kIsViewable) continue;
            if (size.isValid() && (a.width != size.width() || a.height != size.height())) continue;
            if (Pid(children[i]) != pid) continue;
            found = QRect(a.x, a.y, a.width, a.height);
        }
        if (children) xfree(children);
        return found;
    }

    // The windows a window manager manages for process pid, from the bottom of its stacking
    // order to the top (_NET_CLIENT_LIST_STACKING); empty without a window manager.
    QList<unsigned long> ManagedWindows(qint64 pid) {
        const unsigned long stacking = internAtom(m_display, "_NET_CLIENT_LIST_STACKING", 0);
        QList<unsigned long> out;
        for (unsigned long w : Longs(defaultRoot(m_display), stacking, kWindow))
            if (Pid(w) == pid) out << w;
        return out;
    }
    // True once a window manager runs on the display (it names its check window on the root).
    bool WindowManagerRuns() {
        const unsigned long check = internAtom(m_display, "_NET_SUPPORTING_WM_CHECK", 0);
        const QList<unsigned long> named = Longs(defaultRoot(m_display), check, kWindow);
        // One that has gone leaves its name on the root: its check window names itself only while it lives.
        return !named.isEmpty() && Longs(named.first(), check, kWindow) == named;
    }
    qint64 Pid(unsigned long window) {
        const QList<unsigned long> pid = Longs(window, internAtom(m_display, "_NET_WM_PID", 0), kCardinal);
        return pid.isEmpty() ? -1 : qint64(pid.first());
    }
    // The window that window is transient for (WM_TRANSIENT_FOR), 0 when none.
    unsigned long TransientFor(unsigned long window) {
        const QList<unsigned long> owner = Longs(window, kTransientFor, kWindow);
        return owner.isEmpty() ? 0 : owner.first();
    }
    // The window that has the keyboard (the keys typed go there).
    unsigned long InputFocus() {
        unsigned long window = 0;
        int revert = 0;
        getInputFocus(m_display, &window, &revert);
        return window;
    }
    // A window's area on the screen (its own, without a window manager's frame).
    QRect ScreenRect(unsigned long window) {
        Attributes a{};
        if (!getAttributes(m_display, window, &a)) return QRect();
        int x = 0, y = 0;
        unsigned long child = 0;
        if (!translate(m_display, window, defaultRoot(m_display), 0, 0, &x, &y, &child)) return QRect();
        return QRect(x, y, a.width, a.height);
    }
    // Asks for a window to move (a window manager places it there).
    void Move(unsigned long window, const QPoint& to) {
        moveWindow(m_display, window, to.x(), to.y());
        sync(m_display, 0);
    }

    // Waits until the window manager has handled what this session sent before: it answers a
    // request for frame extents in the order of its events. False when it does not within ms.
    bool WindowManagerRoundTrip(int ms = 30000) {
        if (!m_requestor) m_requestor = createWindow(m_display, defaultRoot(m_display), 0, 0, 1, 1, 0, 0, 0);
        const unsigned long extents = internAtom(m_display, "_NET_FRAME_EXTENTS", 0);
        deleteProperty(m_display, m_requestor, extents);
        ClientMessage message{};
        message.type = kClientMessage;
        message.window = m_requestor;
        message.messageType = internAtom(m_display, "_NET_REQUEST_FRAME_EXTENTS", 0);
        message.format = 32;
        sendEvent(m_display, defaultRoot(m_display), 0, kSubstructureMasks, &message);
        sync(m_display, 0);
        QByteArray ignored;
        return vt::WaitUntil([&] { return PropertyIfSet(m_requestor, extents, &ignored); }, ms);
    }

    void Click(const QPoint& at) {
        Press(at);
        Release();
    }
    // The left button held down at a point, moved while held, and let go.
    void Press(const QPoint& at) {
        MoveTo(at);
        button(m_display, 1, 1, 0);
        sync(m_display, 0);
    }
    void MoveTo(const QPoint& at) {
        motion(m_display, -1, at.x(), at.y(), 0);
        sync(m_display, 0);
    }
    void Release() {
        button(m_display, 1, 0, 0);
        sync(m_display, 0);
    }
    void Key(unsigned long keysym, unsigned long modifier = 0) {
        const unsigned mod = modifier ? keysymToKeycode(m_display, modifier) : 0;
        const unsigned code = keysymToKeycode(m_display, keysym);
        if (mod) key(m_display, mod, 1, 0);
        key(m_display, code, 1, 0);
        key(m_display, code, 0, 0);
        if (mod) key(m_display, mod, 0, 0);
        sync(m_display, 0);
    }
    void Type(const QByteArray& digits) {
        for (char c : digits) Key(static_cast<unsigned char>(c));  // digits and letters are their own keysyms
    }

    // The text of the primary selection as its owner hands it over; a null string when nobody
    // answers within ms. The request is made again while nobody owns the selection: a program
    // takes it only once it has handled the keys that select its text.
    QString PrimarySelection(int ms = 10000) {
        if (!m_requestor) m_requestor = createWindow(m_display, defaultRoot(m_display), 0, 0, 1, 1, 0, 0, 0);
        const unsigned long utf8 = internAtom(m_display, "UTF8_STRING", 0);
        const unsigned long into = internAtom(m_display, "VANTEL_E2E_SELECTION", 0);
        QElapsedTimer clock;
        clock.start();
        QByteArray text;
        bool answered = false;
        while (!answered && clock.elapsed() < ms) {
            deleteProperty(m_display, m_requestor, into);
            convertSelection(m_display, kPrimary, utf8, into, m_requestor, 0);
            sync(m_display, 0);
            // The owner writes the text to our window's property: poll for it rather than read events.
            vt::WaitUntil([&] { return answered = PropertyIfSet(m_requestor, into, &text); }, 250);
        }
        return answered ? QString::fromUtf8(text) : QString();
    }

    // Selects the text of the field that has the keyboard, then reads it back.
    QString FieldText() {
        Key(kLetterA, kControl);
        return PrimarySelection();
    }

    static constexpr unsigned long kControl = 0xffe3, kLetterA = 0x61;

private:
    // Xlib's XWindowAttributes.
    struct Attributes {
        int x, y, width, height, border_width, depth;
        void* visual;
        unsigned long root;
        int c_class, bit_gravity, win_gravity, backing_store;
        unsigned long backing_planes, backing_pixel;
        int save_under;
        unsigned long colormap;
        int map_installed, map_state;
        long all_event_masks, your_event_mask, do_not_propagate_mask;
        int override_redirect;
        void* screen;
    };
    // Xlib's XClientMessageEvent, padded to the size of an XEvent.
    struct ClientMessage {
        int type;
        unsigned long serial;
        int sendEvent;
        void* display;
        unsigned long window;
        unsigned long messageType;
        int format;
        long data[5];
        long padding[12];
    };
    static constexpr int kIsViewable = 2, kClientMessage = 33;
    static constexpr long kSubstructureMasks = (1L << 19) | (1L << 20);
    static constexpr unsigned long kPrimary = 1, kCardinal = 6, kWindow = 33, kTransientFor = 68, kAnyType = 0;

    bool PropertyIfSet(unsigned long window, unsigned long property, QByteArray* out) {
        unsigned long type = 0, items = 0, after = 0;
        int format = 0;
        unsigned char* data = nullptr;
        if (getProperty(m_display, window, property, 0, 1 << 16, 0, kAnyType, &type, &format, &items, &after,
                        &data) != 0)
            return false;
        const bool set = type != 0;
        if (set && data && format == 8) *out = QByteArray(reinterpret_cast<const char*>(data), int(items));
        if (data) xfree(data);
        return set;
    }
    // A property of 32-bit items (they come as longs), up to 1024 of them.
    QList<unsigned long> Longs(unsigned long window, unsigned long property, unsigned long type) {
        unsigned long actual = 0, items = 0, after = 0;
        int format = 0;
        unsigned char* data = nullptr;
        QList<unsigned long> out;
        if (getProperty(m_display, window, property, 0, 1024, 0, type, &actual, &format, &items, &after, &data) ==
                0 &&
            data && format == 32)
            for (unsigned long i = 0; i < items; ++i) out << reinterpret_cast<const unsigned long*>(data)[i];
        if (data) xfree(data);
        return out;
    }

    void* m_x11 = nullptr;
    void* m_xtst = nullptr;
    void* m_display = nullptr;
    unsigned long m_requestor = 0;
    void* (*openDisplay)(const char*) = nullptr;
    int (*closeDisplay)(void*) = nullptr;
    int (*sync)(void*, int) = nullptr;
    unsigned char (*keysymToKeycode)(void*, unsigned long) = nullptr;
    unsigned long (*defaultRoot)(void*) = nullptr;
    int (*queryTree)(void*, unsigned long, unsigned long*, unsigned long*, unsigned long**,
                     unsigned*) = nullptr;
    int (*getAttributes)(void*, unsigned long, Attributes*) = nullptr;
    int (*getProperty)(void*, unsigned long, unsigned long, long, long, int, unsigned long, unsigned long*,
                       int*, unsigned long*, unsigned long*, unsigned char**) = nullptr;
    int (*deleteProperty)(void*, unsigned long, unsigned long) = nullptr;
    unsigned long (*internAtom)(void*, const char*, int) = nullptr;
    unsigned long (*createWindow)(void*, unsigned long, int, int, unsigned, unsigned, unsigned, unsigned long,
                                  unsigned long) = nullptr;
    int (*convertSelection)(void*, unsigned long, unsigned long, unsigned long, unsigned long,
                            unsigned long) = nullptr;
    int (*xfree)(void*) = nullptr;
    int (*translate)(void*, unsigned long, unsigned long, int, int, int*, int*, unsigned long*) = nullptr;
    int (*moveWindow)(void*, unsigned long, int, int) = nullptr;
    int (*sendEvent)(void*, unsigned long, int, long, void*) = nullptr;
    int (*getInputFocus)(void*, unsigned long*, int*) = nullptr;
    int (*motion)(void*, int, int, int, unsigned long) = nullptr;
    int (*button)(void*, unsigned, int, unsigned long) = nullptr;
    int (*key)(void*, unsigned, int, unsigned long) = nullptr;
};

// A window manager (openbox) on a display: it frames and stacks the windows, keeps a dialog above
// the window it is transient for, and focuses and raises a window the operator clicks.
class WindowManager {
public:
    static bool Installed() { return vt::HaveTool(QStringLiteral("openbox")); }

    // False when it does not run within 30 s. home: its own, so that no operator's set-up counts.
    bool Start(const QString& display, const QString& home) {
        QProcessEnvironment env = CleanEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display);
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
        m_proc.setProcessEnvironment(env);
        m_proc.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_proc.setStandardOutputFile(QProcess::nullDevice());
        m_proc.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        XSession x;
        if (!m_proc.waitForStarted(30000) || !x.Open(display)) return false;
        return vt::WaitUntil([&] { return x.WindowManagerRuns() || m_proc.state() != QProcess::Running; }, 30000) &&
               m_proc.state() == QProcess::Running;
    }
    void Stop() {
        if (m_proc.state() == QProcess::NotRunning) return;
        m_proc.terminate();
        if (!m_proc.waitForFinished(10000)) {
            m_proc.kill();
            m_proc.waitForFinished(3000);
        }
    }
    ~WindowManager() { Stop(); }

private:
    QProcess m_proc;
};

}  // namespace e2e
