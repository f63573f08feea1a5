// Console shell: what the three server hosts share around their engines: crash-reporter start,
// style sheets, the open-file chooser, and pure helpers (run-time text, port setting, languages,
// the shared-memory stop command, the local address).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QMap>
#include <QString>
#include <QStringList>

#include "VantelProcess/sharememory.h"

// Starts the out-of-process crash handler "<appDir>/vantelcrashrpt/bin/vantel_crash_handler_x64.exe"
// with its report database in "<appDir>/vantelcrashrpt/<databaseFolder>" ("r" recording, "s"
// management, "e" event server). True when it started and reported ready within 5000 ms.
bool StartCrashReporter(const QString& appDir, const QString& databaseFolder = QStringLiteral("r"));

// Sets the application font and the style sheet made of "<exe dir>/res/default/qss/default.qss",
// with its colour placeholders filled in, followed by ".../picture.qss".
void LoadStyleSheet();

// A modal open-file chooser starting on the desktop folder; the chosen file, or empty text.
QString GetOpenFileName(const QString& filter);

namespace ConsoleShell {

// Replaces every "#<key>#" of a known colour key by the colour's "#rrggbb" (case-sensitive);
// unknown keys stay as they are.
QString SubstituteColors(QString qss, const QMap<QString, QColor>& colors);
// The combined sheet: the substituted default sheet, then the picture sheet unchanged.
QString BuildStyleSheet(const QString& defaultQss, const QString& pictureQss,
                        const QMap<QString, QColor>& colors);

// "hh:mm:ss", with "<days> <day word> " before it from one day on.
QString FormatRunTime(quint64 ms);

// A TCP port from its text: 1..65535, nothing else.
bool ParsePort(const QString& text, quint16* port);
// Reads the port under `key` of the ini file. A missing, non-numeric, zero, negative or too large
// value is replaced by defaultPort, which is then written back (repaired set true).
quint16 ReadPortSetting(const QString& iniFile, const QString& key, quint16 defaultPort,
                        bool* repaired = nullptr);

// Display names of the languages offered in `dir` (subfolders included): every file whose base
// name (up to its first dot) has a non-empty value in group Languages of languagesIni.
QStringList ListLanguages(const QString& dir, const QString& languagesIni);
// The display name of a language key (empty when unknown), and the first key showing `name`.
QString LanguageNameForKey(const QString& languagesIni, const QString& key);
QString LanguageKeyForName(const QString& languagesIni, const QString& name);
// Installs the language shown as `name` and stores its key under skin/language of the settings
// file; when it cannot be installed, English is installed and stored. Returns the stored key.
QString SwitchLanguage(const QString& name, const QString& languagesIni, const QString& settingsFile);
// The language key stored in the settings file ("English" when none).
QString SavedLanguage(const QString& settingsFile);

// The stop channel is a 1024-byte block. A writer puts the command "stop" with its terminating
// zero at the start, and at byte 8 the time of writing: the milliseconds since the machine's boot
// (CLOCK_BOOTTIME) plus one, as a native 64-bit integer (0: no time). A console clears at start
// only a stop older than its process; once running, it obeys every stop.
enum { STOP_STAMP_OFFSET = 8 };

// True when the block holds the command "stop": the text and its terminating zero, both within
// the block's `size` bytes (a block without a zero is never read past its end).
bool IsStopCommand(const char* block, int size);
// The writing time of the stop in the block (boot-clock milliseconds), or -1 when it carries none.
qint64 StopCommandTime(const char* block, int size);
// Writes "stop" stamped with `whenMs` (boot-clock milliseconds; -1: now). 0, or -1.
int WriteStopCommand(SHAREMEMHANDLE handle, qint64 whenMs = -1);
// Milliseconds since the machine's boot (CLOCK_BOOTTIME).
qint64 BootClockMs();
// When this process (or process pid) started, on the boot clock (from /proc/<pid>/stat, to the
// end of its clock tick of 10 ms or so); -1 for a process that is not there.
qint64 ProcessStartMs(qint64 pid = 0);
// At start: clears a stop written before the process started (or one without a time), which was
// meant for a console that ended without reading it; a stop written since stays for the first
// poll. True when one was cleared.
bool ClearStaleStop(SHAREMEMHANDLE handle, qint64 processStartMs);
// Reads the stop channel; on "stop" clears the block (so the command is acted on once) and
// returns true.
bool PollStopChannel(SHAREMEMHANDLE handle);
// Name of a host's stop channel: its link name followed by "ShareMem".
QByteArray StopChannelName(const QString& linkName);

// The interface of the default route in the text of /proc/net/route (lowest metric), or empty.
QString DefaultRouteInterface(const QByteArray& routeTable);
// First pass: the first non-loopback IPv4 address of the machine, else 127.0.0.1.
QString GetInterfaceIPv4();
// The address shown by the consoles: the IPv4 address of the default route's interface, else
// the first pass's. Nothing is sent anywhere.
QString GetLocalIPv4();

}  // namespace ConsoleShell
