// INFRA::AlarmSound: plays an alarm's sound file once (WAV through Qt Multimedia); where no audio
// output exists it stays silent and logs why.
#pragma once

#include <QString>

namespace INFRA {

class AlarmSound {
public:
    enum Result { Played = 0, NotSound = -1, NoDevice = -2, Missing = -3 };

    // True when the file holds a RIFF/WAVE sound (what the player can play), whatever its name.
    static bool IsSoundFile(const QString& path);
    // The open-file dialog's filter for such files, under the given label.
    static QString FileFilter(const QString& label);
    // Starts the sound and returns at once; a Result. Everything but Played is logged with its
    // reason and left silent.
    static int Play(const QString& path);
    // Why the last Play did not sound (empty after Played).
    static QString LastReason();
};

}  // namespace INFRA
