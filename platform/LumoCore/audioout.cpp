#include "audioout.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QCoreApplication>
#include <QThread>
#include <cstring>

namespace lumocore {

void AudioRing::Push(const char* data, qint64 size) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffer.append(data, int(size));
    // Keep at most `capacity`: late samples are worth less than a growing delay.
    if (m_buffer.size() > m_capacity) m_buffer.remove(0, int(m_buffer.size() - m_capacity));
}

void AudioRing::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_buffer.clear();
}

qint64 AudioRing::Buffered() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_buffer.size();
}

qint64 AudioRing::bytesAvailable() const {
    return 4096 + QIODevice::bytesAvailable();
}

qint64 AudioRing::readData(char* data, qint64 maxSize) {
    std::lock_guard<std::mutex> lock(m_mutex);
    qint64 n = qMin<qint64>(maxSize, m_buffer.size());
    if (n > 0) {
        std::memcpy(data, m_buffer.constData(), size_t(n));
        m_buffer.remove(0, int(n));
    }
    // Silence while the decoder has nothing: the output keeps running, no underrun state.
    if (n < maxSize) std::memset(data + n, 0, size_t(maxSize - n));
    return maxSize;
}

std::unique_ptr<AudioOut> AudioOut::Create(int sampleRate, int channels) {
    if (!QCoreApplication::instance() || sampleRate <= 0 || channels <= 0) return nullptr;
    QAudioDeviceInfo dev = QAudioDeviceInfo::defaultOutputDevice();
    if (dev.isNull()) return nullptr;
    QAudioFormat fmt;
    fmt.setSampleRate(sampleRate);
    fmt.setChannelCount(channels > 2 ? 2 : channels);
    fmt.setSampleSize(16);
    fmt.setCodec("audio/pcm");
    fmt.setByteOrder(QAudioFormat::LittleEndian);
    fmt.setSampleType(QAudioFormat::SignedInt);
    if (!dev.isFormatSupported(fmt)) {
        fmt = dev.nearestFormat(fmt);
        if (fmt.sampleSize() != 16 || fmt.sampleType() != QAudioFormat::SignedInt) return nullptr;
    }
    std::unique_ptr<AudioOut> a(new AudioOut());
    a->m_rate = fmt.sampleRate();
    a->m_channels = fmt.channelCount();
    a->m_thread = new QThread();
    a->m_thread->setObjectName("LumoAudio");
    a->m_thread->start();
    AudioOut* self = a.get();
    bool ok = false;
    // The output and its device live on the audio thread, which runs their event loop.
    a->m_worker = new QObject();
    a->m_worker->moveToThread(a->m_thread);
    QMetaObject::invokeMethod(
        a->m_worker,
        [self, dev, fmt, &ok] {
            self->m_ring = new AudioRing(qint64(fmt.sampleRate()) * fmt.channelCount() * 2);
            self->m_ring->open(QIODevice::ReadOnly | QIODevice::Unbuffered);  // no read-ahead of silence
            self->m_output = new QAudioOutput(dev, fmt);
            self->m_output->setBufferSize(fmt.sampleRate() * fmt.channelCount() * 2 / 5);  // 200 ms
            self->m_output->start(self->m_ring);
            ok = self->m_output->error() == QAudio::NoError;
        },
        Qt::BlockingQueuedConnection);
    if (!ok) return nullptr;  // the destructor tears down what was made
    return a;
}

AudioOut::~AudioOut() {
    if (!m_thread) return;
    QAudioOutput* out = m_output;
    AudioRing* ring = m_ring;
    QObject* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [out, ring, worker] {
            if (out) {
                out->stop();
                delete out;
            }
            delete ring;
            worker->deleteLater();  // deleted when the thread ends
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_thread;
}

}  // namespace lumocore
