#pragma once

#include <QByteArray>

#include <array>
#include <memory>
#include <vector>

namespace RubberBand {
class RubberBandStretcher;
}

// Changes the length of the engine's audio (48 kHz stereo float) by the playback speed while
// keeping its pitch, with one real-time Rubber Band stretcher (finer engine). Consecutive
// calls form one continuous stream until ResetStretcher(). Used on the audio output thread
// only.
class AudioStretcher
{
public:
    AudioStretcher();
    ~AudioStretcher();
    AudioStretcher(const AudioStretcher&) = delete;
    AudioStretcher& operator=(const AudioStretcher&) = delete;

    // The time ratio given to the stretcher is 1 / speed.
    void SetStretchSpeed(float speed);
    float Speed() const { return m_speed; }
    // Starts a new stream: the stretcher's history is dropped, its preferred padding is put
    // in front of the next input and its latency's worth of output will be discarded.
    void ResetStretcher();
    // Whole interleaved frames (8 bytes each).
    void PushStretchInput(const QByteArray& bytes);
    void ProcessStretch();
    // Appends the stretched audio produced so far, interleaved.
    void TakeStretchOutput(QByteArray& bytes);

    size_t Latency() const;

private:
    static constexpr int kChannels = 2;
    static constexpr size_t kOutputCapacity = 8192 + 1024 + 8192; // frames per retrieve

    std::unique_ptr<RubberBand::RubberBandStretcher> m_stretcher;
    size_t m_startPad = 0;
    size_t m_framesToDrop = 0;
    float m_speed = 1.0f;
    std::array<std::vector<float>, kChannels> m_input;
    std::vector<float> m_output; // interleaved
    std::array<std::vector<float>, kChannels> m_outputBuffers;
};
