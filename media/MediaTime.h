#pragma once

#include <cmath>
#include <cstdint>
#include <climits>

// Media time is a signed count of microseconds; time 0 is the first frame of a source and end
// times are inclusive (the last microsecond that still belongs to the media). -1 marks a time
// that is not known. A frame duration `fd` is a double in microseconds (1,000,000 / rate);
// frame i covers ceil(i * fd) .. ceil((i + 1) * fd) - 1, so frames of a non-integer duration
// differ in length by at most one microsecond.
namespace MediaTime {

constexpr int64_t kMicroseconds = 1'000'000;

inline int64_t FrameStartTime(int32_t frame, double fd)
{
    return static_cast<int64_t>(std::ceil(frame * fd));
}

inline int64_t FrameEndTime(int32_t frame, double fd)
{
    return static_cast<int64_t>(std::ceil((static_cast<double>(frame) + 1.0) * fd)) - 1;
}

// Frame numbers are 32-bit; times far beyond the last representable frame saturate.
inline int32_t SaturateFrame(double frame)
{
    if (frame >= 2147483647.0)
        return INT32_MAX;
    if (frame <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(frame);
}

// The frame whose span holds `t`. The quotient t / fd can land on either side of a boundary
// that FrameStartTime puts elsewhere by a rounding error; both corrections keep the two
// consistent (times before 0 count as frame 0).
inline int32_t TimeToFrame(int64_t t, double fd)
{
    if (fd <= 0.0)
        return 0;
    double b = std::trunc(static_cast<double>(t) / fd);
    if (std::ceil((b + 1.0) * fd) <= static_cast<double>(t))
        b += 1.0;
    else if (b > 0.0 && std::ceil(b * fd) > static_cast<double>(t))
        b -= 1.0;
    return SaturateFrame(b);
}

// Number of frames up to and including the end time `t`; a last frame covered by less than
// 1.5 % does not count.
inline int32_t FrameCount(int64_t t, double fd)
{
    if (fd <= 0.0)
        return 0;
    const int32_t n = TimeToFrame(t, fd);
    // How far into frame n the time reaches, as a fraction of a frame.
    const double fraction = static_cast<double>(t) / fd - n;
    return fraction >= 0.015 && n < INT32_MAX ? n + 1 : n;
}

inline double FrameDuration(double frameRate)
{
    return frameRate > 0.0 ? static_cast<double>(kMicroseconds) / frameRate : 0.0;
}

} // namespace MediaTime
