// CrashCoreDump: the fallback crash dump when no crash handler process runs. A fatal signal
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) writes "<folder>/<program>-<pid>-<unix time>.dmp"
// with the signal and a backtrace, then the signal is raised again so the process ends as it
// would have (core dump, exit status).
#pragma once

// Installs the handler; the folder is "dumps" next to the executable unless set before.
void CrashCoreDump();
// Sets the dump folder (call before CrashCoreDump; tests).
void CrashCoreDumpSetFolder(const char* folder);
// The folder dumps are written to.
const char* CrashCoreDumpFolder();
