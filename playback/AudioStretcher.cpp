#include "playback/AudioStretcher.h"

#include "media/AudioFrame.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cstring>

AudioStretcher::AudioStretcher()
    : m_stretcher(std::make_unique<RubberBand::RubberBandStretcher>(
          AudioFormat::kSampleRate, kChannels,
          RubberBand::RubberBandStretcher::OptionProcessRealTime | RubberBand::RubberBandStretcher::OptionEngineFiner,
          1.0, 1.0))
{
    for (auto& buffer : m_outputBuffers)
        buffer.assign(kOutputCapacity, 0.0f);
}

AudioStretcher::~AudioStretcher() = default;

void AudioStretcher::SetStretchSpeed(float speed)
{
    m_speed = speed;
    m_stretcher->setTimeRatio(1.0 / static_cast<double>(speed));
}

size_t AudioStretcher::Latency() const
{
    return m_stretcher->getLatency();
}

void AudioStretcher::ResetStretcher()
{
    m_stretcher->reset();
    m_startPad = m_stretcher->getPreferredStartPad();
    m_framesToDrop = m_stretcher->getLatency();
    for (auto& channel : m_input)
        channel.assign(m_startPad, 0.0f);
    m_output.clear();
}

void AudioStretcher::PushStretchInput(const QByteArray& bytes)
{
    const auto* samples = reinterpret_cast<const float*>(bytes.constData());
    const size_t frames = static_cast<size_t>(bytes.size()) / AudioFormat::kBytesPerFrame;
    for (int c = 0; c < kChannels; ++c)
        m_input[static_cast<size_t>(c)].reserve(m_input[static_cast<size_t>(c)].size() + frames);
    for (size_t f = 0; f < frames; ++f)
        for (size_t c = 0; c < kChannels; ++c)
            m_input[c].push_back(samples[f * kChannels + c]);
}

void AudioStretcher::ProcessStretch()
{
    const size_t n = m_input[0].size();
    size_t done = 0;
    float* outputs[kChannels] = {m_outputBuffers[0].data(), m_outputBuffers[1].data()};
    while (done < n) {
        const size_t chunk = std::min(n - done, std::max<size_t>(m_stretcher->getSamplesRequired(), 1));
        const float* inputs[kChannels] = {m_input[0].data() + done, m_input[1].data() + done};
        m_stretcher->process(inputs, chunk, false);
        done += chunk;
        for (int available = m_stretcher->available(); available > 0; available = m_stretcher->available()) {
            const size_t taken = m_stretcher->retrieve(outputs, std::min<size_t>(static_cast<size_t>(available), kOutputCapacity));
            for (size_t f = 0; f < taken; ++f) {
                if (m_framesToDrop > 0) {
                    --m_framesToDrop; // the stretcher's latency: not audio of ours yet
                    continue;
                }
                for (size_t c = 0; c < kChannels; ++c)
                    m_output.push_back(m_outputBuffers[c][f]);
            }
            if (taken == 0)
                break;
        }
    }
    for (auto& channel : m_input)
        channel.clear();
}

void AudioStretcher::TakeStretchOutput(QByteArray& bytes)
{
    bytes.append(reinterpret_cast<const char*>(m_output.data()), static_cast<qsizetype>(m_output.size() * sizeof(float)));
    m_output.clear();
}
