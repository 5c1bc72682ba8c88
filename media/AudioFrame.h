#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <memory>

// A block of decoded sound in the engine format: 48,000 Hz, 2 channels, 32-bit float,
// interleaved (8 bytes per sample frame). Always held by std::shared_ptr.
struct AudioFrame
{
    QByteArray data;
    int64_t size = 0;       // bytes of data
    int64_t startTime = 0;  // µs, media time of the first sample
    // µs, start + sampleCount / source rate - 1, truncated. The cache may stretch it while
    // the audio output reads it, hence atomic.
    std::atomic<int64_t> endTime{0};
    int32_t sampleCount = 0; // samples per channel
    bool flag = false;       // set with empty data: silence standing for `size` bytes

    // Bytes the block keeps in memory, which is what it costs the cache's audio budget.
    // Silence holds no samples, so a soundless stretch of any length costs nothing.
    int64_t HeldBytes() const { return flag && data.isEmpty() ? 0 : size; }
};

using AudioFramePtr = std::shared_ptr<AudioFrame>;

// The engine's audio format.
namespace AudioFormat {
constexpr int kSampleRate = 48'000;
constexpr int kChannels = 2;
constexpr int kBytesPerFrame = 8; // two 32-bit float samples

// Bytes of engine audio that `duration` µs take.
inline int64_t BytesForDuration(int64_t duration)
{
    return static_cast<int64_t>(static_cast<double>(duration) / 1'000'000.0 * kSampleRate) * kBytesPerFrame;
}

inline int64_t DurationOfBytes(int64_t bytes)
{
    return static_cast<int64_t>(static_cast<double>(bytes / kBytesPerFrame) / kSampleRate * 1'000'000.0);
}
} // namespace AudioFormat
