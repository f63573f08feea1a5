// The program's one log sink: VantelDBG lines (VantelCore.h), Qt's messages (qDebug, qInfo,
// qWarning, qCritical) and LumoPrintf all go to stderr and to $VANTEL_LOG_DIR/<program>.log
// (VantelDBG_GetLogFile), so that what a console started from the tray or at login reports is
// kept.
#pragma once

#include <cstddef>

// Installs the Qt message handler and routes LumoPrintf here; each program calls it first in
// main.
void VantelLogInstall();

// Writes one line "<time> [level] where: text" to stderr and to the log file (kept open, opened
// on first use). Levels as VantelDBG's: 1 error, 2 warning, 3 info, 4..7 detail. where may be
// null. Safe from any thread; lines never mix.
void VantelLogWrite(int level, const char* where, const char* text, size_t size);
