#include "playback/AudioOutput.h"

#include "core/Logger.h"
#include "core/Settings.h"
#include "media/AudioFrame.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>

namespace {

constexpr int kBufferStep = 10'000;
constexpr int kBufferLimit = 100'000;

QAudioFormat EngineFormat()
{
    QAudioFormat format;
    format.setSampleRate(AudioFormat::kSampleRate);
    format.setChannelCount(AudioFormat::kChannels);
    format.setChannelConfig(QAudioFormat::ChannelConfigStereo);
    format.setSampleFormat(QAudioFormat::Float);
    return format;
}

QString ErrorName(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("NoError");
    case QAudio::OpenError:
        return QStringLiteral("OpenError");
    case QAudio::IOError:
        return QStringLiteral("IOError");
    case QAudio::UnderrunError:
        return QStringLiteral("UnderrunError");
    case QAudio::FatalError:
        return QStringLiteral("FatalError");
    }
    return QStringLiteral("Unknown");
}

} // namespace

AudioOutput::AudioOutput(QObject* parent)
    : AudioOutput(AudioOutputSettings::FromSettings(), parent)
{
}

AudioOutput::AudioOutput(const AudioOutputSettings& settings, QObject* parent)
    : QObject(parent)
    , m_settings(settings)
    , m_bufferSize(settings.bufferSize)
    , m_mediaDevices(new QMediaDevices(this))
{
    connect(m_mediaDevices, &QMediaDevices::audioOutputsChanged, this, &AudioOutput::OnAudioOutputDevicesChanged);
    // Not every sound system backend reports changes to the list of outputs; a look once a
    // second catches the rest.
    m_deviceSignature = DeviceSignature();
    m_devicePoll.setInterval(1000);
    connect(&m_devicePoll, &QTimer::timeout, this, [this] {
        if (DeviceSignature() != m_deviceSignature)
            OnAudioOutputDevicesChanged();
    });
    m_devicePoll.start();
}

QByteArray AudioOutput::DeviceSignature()
{
    QByteArray signature = QMediaDevices::defaultAudioOutput().id();
    for (const QAudioDevice& device : QMediaDevices::audioOutputs())
        signature += '\n' + device.id();
    return signature;
}

AudioOutput::~AudioOutput()
{
    ReleaseAudioDevice();
}

bool AudioOutput::StartAudioDevice()
{
    if (!m_sink) {
        const QAudioFormat format = EngineFormat();
        m_device = QMediaDevices::defaultAudioOutput();
        if (m_device.isNull()) {
            Logger::warning(QStringLiteral("Audio output device not found"));
            m_failed = true;
            return false;
        }
        if (!m_device.isFormatSupported(format)) {
            Logger::error(QStringLiteral("Unsupported audio output format for device: %1").arg(m_device.description()));
            m_failed = true;
            return false;
        }
        m_sink = std::make_unique<QAudioSink>(m_device, format);
        m_sink->setBufferSize(m_bufferSize);
        // A sink's state changes can be queued from the sound server's thread and arrive
        // after that sink was released; only the current sink's are acted on.
        const quint64 generation = ++m_sinkGeneration;
        connect(m_sink.get(), &QAudioSink::stateChanged, this, [this, generation](QAudio::State state) {
            if (generation == m_sinkGeneration)
                OnStateChanged(state);
        });
        ApplyVolume();
    }
    m_processedAtResume = 0;
    m_fed = false;
    m_stream = m_sink->start();
    if (!m_stream) {
        Logger::error(QStringLiteral("Failed to initialize audio output device: %1").arg(m_device.description()));
        m_failed = true;
        return false;
    }
    m_silence = QByteArray(static_cast<qsizetype>(std::max<qsizetype>(m_sink->bufferSize(), 0)), '\0');
    return true;
}

void AudioOutput::ReleaseAudioDevice()
{
    // Stopping the sink can run the event loop; by then it is no longer ours and tells us
    // nothing.
    m_stream = nullptr;
    ++m_sinkGeneration;
    if (std::unique_ptr<QAudioSink> sink = std::move(m_sink)) {
        sink->disconnect(this);
        sink->stop();
    }
    m_underrunCount = 0;
    m_failed = false;
    m_bufferIncreased = false;
    m_refreshNeeded = false;
    m_devicesChanged = false;
}

void AudioOutput::Amplify(QByteArray& bytes, float gain)
{
    auto* samples = reinterpret_cast<float*>(bytes.data());
    const qsizetype count = bytes.size() / static_cast<qsizetype>(sizeof(float));
    for (qsizetype i = 0; i < count; ++i)
        samples[i] *= gain;
}

qint64 AudioOutput::WriteAudio(const QByteArray& bytes)
{
    if (!IsOpen())
        return 0;
    const AudioOutputSettings& settings = m_settings;
    qint64 written = 0;
    if (settings.volume > 100 && !settings.muted) {
        QByteArray louder = bytes;
        Amplify(louder, static_cast<float>(settings.volume) / 100.0f * 1.5f);
        written = m_stream->write(louder);
    } else {
        written = m_stream->write(bytes);
    }
    m_fed = m_fed || written > 0;
    return written;
}

void AudioOutput::Resume()
{
    if (!m_sink || m_sink->state() != QAudio::SuspendedState)
        return;
    m_processedAtResume = m_sink->processedUSecs();
    m_sink->resume();
}

void AudioOutput::Reset()
{
    if (!m_sink || m_sink->state() == QAudio::StoppedState)
        return;
    m_sink->reset();
    // Some backends (PulseAudio) stop on a reset: their stream is closed and the device
    // written to is deleted. It is started again before anything more is written.
    if (m_sink->state() == QAudio::StoppedState)
        m_stream = nullptr;
}

void AudioOutput::ApplyVolume()
{
    if (!m_sink)
        return;
    const AudioOutputSettings& settings = m_settings;
    if (settings.muted) {
        m_sink->setVolume(0.0);
        return;
    }
    const double linear = QAudio::convertVolume(settings.volume / 100.0, QAudio::LogarithmicVolumeScale,
                                                QAudio::LinearVolumeScale);
    m_sink->setVolume(std::clamp(linear, 0.0, 1.0));
}

double AudioOutput::SinkVolume() const
{
    return m_sink ? m_sink->volume() : -1.0;
}

QAudio::State AudioOutput::State() const
{
    return m_sink ? m_sink->state() : QAudio::StoppedState;
}

qint64 AudioOutput::PlayedMicroseconds() const
{
    return m_sink ? m_sink->processedUSecs() - m_processedAtResume : 0;
}

bool AudioOutput::IsOpen() const
{
    if (!m_stream)
        return false;
    const QAudio::State state = m_sink->state();
    return state == QAudio::ActiveState || state == QAudio::IdleState;
}

qint64 AudioOutput::BytesFree() const
{
    return IsOpen() ? m_sink->bytesFree() : 0;
}

qint64 AudioOutput::DeviceBufferSize() const
{
    return m_sink ? m_sink->bufferSize() : 0;
}

qint64 AudioOutput::BytesUsed() const
{
    return DeviceBufferSize() - BytesFree();
}

qint64 AudioOutput::BufferedDuration() const
{
    return AudioFormat::DurationOfBytes(BytesUsed());
}

QString AudioOutput::StateName() const
{
    switch (State()) {
    case QAudio::ActiveState:
        return QStringLiteral("Active");
    case QAudio::SuspendedState:
        return QStringLiteral("Suspended");
    case QAudio::StoppedState:
        return QStringLiteral("Stopped");
    case QAudio::IdleState:
        return QStringLiteral("Idle");
    }
    return QStringLiteral("Unknown");
}

QString AudioOutput::DeviceDescription() const
{
    return m_device.isNull() ? QString() : m_device.description();
}

void AudioOutput::OnNotify()
{
    const qint64 bytes = BytesFree();
    if (bytes >= 1)
        emit NotifyBytesFree(bytes);
}

void AudioOutput::OnAudioOutputDevicesChanged()
{
    m_deviceSignature = DeviceSignature();
    ++m_devicesChangedCount;
    m_devicesChanged = true;
}

void AudioOutput::OnStateChanged(QAudio::State state)
{
    QAudio::Error error = m_sink ? m_sink->error() : QAudio::NoError;
    // The device is fed silence whenever there is nothing to play, so going idle means it ran
    // dry: an underrun, although some backends (PulseAudio in push mode) do not report one.
    // Before the first write the device is idle only because it has not been fed yet.
    if (state == QAudio::IdleState && error == QAudio::NoError && m_fed)
        error = QAudio::UnderrunError;
    if (error == QAudio::UnderrunError) {
        ++m_underrunCount;
        if (!m_bufferIncreased && !m_refreshNeeded) {
            if (state == QAudio::IdleState) {
                if (m_bufferSize < kBufferLimit) {
                    m_bufferSize = std::min(m_bufferSize + kBufferStep, kBufferLimit);
                    m_bufferIncreased = true;
                }
            } else {
                if (state == QAudio::ActiveState) {
                    if (m_lastError == QAudio::UnderrunError)
                        m_refreshNeeded = true;
                    m_lastError = error;
                }
                emit StateChanged(state);
                return;
            }
        }
    } else if (error != QAudio::NoError) {
        Logger::error(QStringLiteral("Audio Output Error: %1").arg(ErrorName(error)));
    }
    if (state != QAudio::IdleState) {
        if (state == QAudio::ActiveState)
            m_lastError = error;
        emit StateChanged(state);
        return;
    }
    if (IsOpen() && BytesUsed() == DeviceBufferSize() && DeviceBufferSize() > 0)
        m_sink->reset();
    emit StateChanged(state);
}
