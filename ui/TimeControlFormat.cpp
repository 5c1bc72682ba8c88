#include "ui/TimeControlFormat.h"

#include "project/Timeline.h"

#include <algorithm>
#include <cmath>

namespace TimeControlFormat {

QString DisplayFormatName(int format)
{
    switch (format) {
    case FrameNumbersGlobal:
        return QStringLiteral("Frame Numbers (Global)");
    case FrameNumbersRange:
        return QStringLiteral("Frame Numbers (Range)");
    case Seconds:
        return QStringLiteral("Seconds");
    case TimeCode:
        return QStringLiteral("Time Code");
    case FrameNumbersImage:
        return QStringLiteral("Frame Numbers (Image)");
    default:
        return {};
    }
}

int ValidDisplayFormat(int format)
{
    return format >= 0 && format < kDisplayFormatCount ? format : FrameNumbersGlobal;
}

float FrameMapping::PixelsPerFrame() const
{
    if (Count() < 1 || width <= 0)
        return 0.0f;
    return static_cast<float>(width) / static_cast<float>(Count());
}

std::optional<int> FrameMapping::FrameAt(int px) const
{
    const float p = PixelsPerFrame();
    if (p <= 0.0f)
        return std::nullopt;
    const int d = px - x;
    if (d <= 0)
        return first;
    // The rightmost column holds the last frame even when several frames share a column, so
    // that a drag to the end of the bar reaches it.
    if (d >= width - 1)
        return last;
    int k = static_cast<int>(static_cast<float>(d) / p);
    if (p >= 1.0f) {
        // Truncating both ways can put a column's frame one before the frame drawn there;
        // the column picks the frame drawn at it.
        const auto left = [p](int frame) { return static_cast<int>(static_cast<float>(frame) * p); };
        while (k + 1 < Count() && left(k + 1) <= d)
            ++k;
        while (k > 0 && left(k) > d)
            --k;
    }
    return std::clamp(first + k, first, last);
}

std::optional<int> FrameMapping::XOf(int frame) const
{
    const float p = PixelsPerFrame();
    if (p <= 0.0f)
        return std::nullopt;
    return static_cast<int>(static_cast<float>(x) + static_cast<float>(frame - first) * p);
}

int TimeCodeRate(double frameRate)
{
    if (frameRate <= 0.0)
        frameRate = 1.0;
    return std::max(1, static_cast<int>(frameRate + 0.5));
}

namespace {

// Two digits and a colon: "00:" for 0, "07:" for 7, "42:" for 42.
QString Field(int64_t value)
{
    return QStringLiteral("%1:").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace

QString TimeCodeText(int64_t frame, int fps)
{
    fps = std::max(fps, 1);
    const int64_t hours = frame / (static_cast<int64_t>(fps) * 3600);
    const int64_t minutes = (frame / (static_cast<int64_t>(fps) * 60)) % 60;
    const int64_t seconds = (frame / fps) % 60;
    const int64_t frames = frame % fps;
    QString text;
    if (hours > 0)
        text += Field(hours);
    text += Field(minutes);
    text += Field(seconds);
    text += QStringLiteral("%1").arg(frames, 2, 10, QLatin1Char('0'));
    return text;
}

QString FrameLabel(int format, const LabelInput& input)
{
    switch (format) {
    case FrameNumbersRange:
        return QString::number(static_cast<int64_t>(input.frame) + input.offset - input.rangeStart);
    case Seconds: {
        const int64_t time = std::min(input.frameStartTime, input.endTime);
        return QString::number(static_cast<double>(time) / 1e6, 'f', 2);
    }
    case TimeCode:
        return TimeCodeText(input.frame, TimeCodeRate(input.frameRate));
    case FrameNumbersImage:
        if (input.imageNumber >= 0)
            return QString::number(input.imageNumber);
        break;
    default:
        break;
    }
    return QString::number(static_cast<int64_t>(input.frame) + input.offset);
}

QString RangeLengthLabel(int format, int frameCount, int64_t duration, double frameRate)
{
    switch (format) {
    case Seconds:
        return QString::number(static_cast<double>(duration) / 1e6, 'f', 2) + QStringLiteral(" sec");
    case TimeCode:
        return TimeCodeText(frameCount, TimeCodeRate(frameRate));
    default:
        return QString::number(frameCount) + QStringLiteral(" frames");
    }
}

LabelInput LabelInputFor(const Timeline& timeline, int frame, int currentFrame, bool withOffset, int rangeStart)
{
    LabelInput input;
    input.frame = frame;
    input.offset = withOffset ? timeline.TimeControlFrameOffset() : 0;
    input.rangeStart = rangeStart;
    input.frameStartTime = std::max<int64_t>(timeline.FrameStartTime(frame), 0);
    input.endTime = std::max<int64_t>(timeline.EndTime(), 0);
    input.frameRate = timeline.FrameRateAt(currentFrame);
    input.imageNumber = timeline.FileFrameNumber(frame);
    return input;
}

} // namespace TimeControlFormat
