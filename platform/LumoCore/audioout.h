// Sound of a player: a pull-mode audio output on a thread of its own, fed from a ring buffer
// that the decoder fills. Without an output device nothing is made and playback stays silent.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <memory>
#include <mutex>

class QAudioOutput;
class QObject;
class QThread;

namespace lumocore {

class AudioRing : public QIODevice {
public:
    explicit AudioRing(qint64 capacity) : m_capacity(capacity) {}
    void Push(const char* data, qint64 size);
    void Clear();
    qint64 Buffered() const;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    // The decoder pushes from its thread, the output reads from the audio thread.
    mutable std::mutex m_mutex;
    QByteArray m_buffer;  // guarded by m_mutex
    qint64 m_capacity;    // constant
};

class AudioOut {
public:
    // Null when the machine has no output device (or no application object exists).
    static std::unique_ptr<AudioOut> Create(int sampleRate, int channels);
    ~AudioOut();

    int SampleRate() const { return m_rate; }
    int Channels() const { return m_channels; }
    // Interleaved signed 16-bit samples at SampleRate/Channels.
    void Push(const char* data, qint64 size) { m_ring->Push(data, size); }
    void Clear() { m_ring->Clear(); }

private:
    AudioOut() = default;
    // Made by Create, constant afterwards; the output objects live on (and are only touched by)
    // m_thread; the ring is shared through its own lock.
    int m_rate = 0;
    int m_channels = 0;
    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr;
    QAudioOutput* m_output = nullptr;
    AudioRing* m_ring = nullptr;
};

}  // namespace lumocore
