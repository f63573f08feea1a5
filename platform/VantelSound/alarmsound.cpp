#include "VantelSound/alarmsound.h"

#include <QAudioDeviceInfo>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSoundEffect>
#include <QUrl>

#include "VantelCore/VantelCore.h"

namespace INFRA {

namespace {
QString g_reason;  // GUI thread only

int Fail(int result, const QString& reason) {
    g_reason = reason;
    VantelDBG_Printf_f(0x7fff, 1, "AlarmSound::Play", "silent: %s", reason.toUtf8().constData());
    return result;
}
}  // namespace

bool AlarmSound::IsSoundFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray head = f.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WAVE";
}

QString AlarmSound::FileFilter(const QString& label) {
    return label + QStringLiteral(" (*.wav *.WAV)");
}

int AlarmSound::Play(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return Fail(Missing, QStringLiteral("no such file: ") + path);
    if (!IsSoundFile(path)) return Fail(NotSound, QStringLiteral("not a WAV sound: ") + path);
    if (QAudioDeviceInfo::availableDevices(QAudio::AudioOutput).isEmpty())
        return Fail(NoDevice, QStringLiteral("no audio output device for ") + path);
    g_reason.clear();
    auto* effect = new QSoundEffect(QCoreApplication::instance());
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying()) effect->deleteLater();
    });
    QObject::connect(effect, &QSoundEffect::statusChanged, effect, [effect] {
        if (effect->status() == QSoundEffect::Error) effect->deleteLater();
    });
    effect->setSource(QUrl::fromLocalFile(path));
    effect->play();
    return Played;
}

QString AlarmSound::LastReason() {
    return g_reason;
}

}  // namespace INFRA
