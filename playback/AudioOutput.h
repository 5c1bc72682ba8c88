#pragma once

#include "playback/AudioOutputSettings.h"

#include <QAudio>
#include <QAudioDevice>
#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class QAudioSink;
class QIODevice;
class QMediaDevices;

// The sound device: one Qt Multimedia sink on the system's default output, fed by pushing
// bytes of the engine's format (48 kHz stereo float). Grows its buffer after underruns,
// notices device changes, applies volume and mute. Lives on the audio output thread, and
// takes its settings from whoever makes it (see AudioOutputSettings).
class AudioOutput : public QObject
{
    Q_OBJECT

public:
    explicit AudioOutput(QObject* parent = nullptr); // copies the settings: main thread
    explicit AudioOutput(const AudioOutputSettings& settings, QObject* parent = nullptr);
    ~AudioOutput() override;

    bool StartAudioDevice();
    void ReleaseAudioDevice();
    // Bytes written; nothing unless the device is open. Above 100 % volume the samples are
    // amplified here (the device's own volume stops at 100 %).
    qint64 WriteAudio(const QByteArray& bytes);
    void Resume();
    void Reset();
    void ApplyVolume();
    // Volume, mute and backwards sound from now on (the buffer size stays as it was made).
    void SetSettings(const AudioOutputSettings& settings) { m_settings = settings; }

    bool HasSink() const { return m_sink != nullptr; }
    // The device's own volume, 0..1 (linear); -1 without a device.
    double SinkVolume() const;
    // Started and not stopped since: written to and asked for free space only then.
    bool IsOpen() const;
    QAudio::State State() const;
    qint64 PlayedMicroseconds() const;
    qint64 BytesFree() const;
    qint64 DeviceBufferSize() const;
    qint64 BytesUsed() const;
    qint64 BufferedDuration() const; // µs
    QString StateName() const;
    QString DeviceDescription() const;
    int RequestedBufferSize() const { return m_bufferSize; }
    bool BufferIncreased() const { return m_bufferIncreased; }
    bool RefreshNeeded() const { return m_refreshNeeded; }
    bool DevicesChanged() const { return m_devicesChanged; }
    int DevicesChangedCount() const { return m_devicesChangedCount; }
    int UnderrunCount() const { return m_underrunCount; }
    bool Failed() const { return m_failed; }
    const QByteArray& Silence() const { return m_silence; }

    // Samples of `bytes` (floats) multiplied by `gain`.
    static void Amplify(QByteArray& bytes, float gain);

signals:
    void NotifyBytesFree(qint64 bytes);
    void StateChanged(QAudio::State state);

public slots:
    void OnNotify();
    void OnStateChanged(QAudio::State state);
    void OnAudioOutputDevicesChanged();

private:
    // The default output and the list of outputs, to notice changes by.
    static QByteArray DeviceSignature();

    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_stream = nullptr; // owned by the sink; null whenever the sink is stopped
    quint64 m_sinkGeneration = 0; // counts the sinks made and released
    QAudioDevice m_device;
    AudioOutputSettings m_settings;
    int m_bufferSize;
    bool m_bufferIncreased = false;
    bool m_refreshNeeded = false;
    QByteArray m_silence;
    bool m_devicesChanged = false;
    int m_devicesChangedCount = 0;
    qint64 m_processedAtResume = 0;
    bool m_fed = false; // written to since the device was started
    int m_underrunCount = 0;
    QAudio::Error m_lastError = QAudio::NoError;
    bool m_failed = false;
    QMediaDevices* m_mediaDevices = nullptr;
    QByteArray m_deviceSignature;
    QTimer m_devicePoll;
};
