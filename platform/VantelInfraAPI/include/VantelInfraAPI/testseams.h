// Test seams of the widget library: a log of what the operator would have been shown, scripted
// answers for modal boxes, a program-directory override and a synchronous busy indicator.
// Programs never call these; the library consults them, tests and end-to-end runs set them.
#pragma once

#include <QString>
#include <QStringList>

namespace INFRA {
namespace TestSeams {

// The file named by VANTEL_UI_LOG (or set here) receives one tab-separated line per message
// box, tray balloon, notifier pop-up and exiting frame. Empty: nothing is recorded.
QString UiLogPath();
void SetUiLogPath(const QString& path);
// Appends the fields, joined by tabs, as one line (tabs and line breaks inside a field are
// replaced by blanks so that a line stays one record).
void RecordUiEvent(const QStringList& fields);

// The scripted reply of VANTEL_UI_REPLY (or set here): "yes", "no", "ok", "cancel" or "close".
// Empty: boxes wait for a person.
QString ScriptedReply();
void SetScriptedReply(const QString& reply);

// Overrides the program directory that VantelUtility::GetModuleFileInformations reports (and so
// where the language files are looked for). Empty: the executable's directory.
QString ProgramDirOverride();
void SetProgramDir(const QString& dir);

// When true, BusyLoading runs its worker on the calling thread (its result still arrives
// through the queued `returned` signal).
bool BusySynchronous();
void SetBusySynchronous(bool on);

}  // namespace TestSeams
}  // namespace INFRA
