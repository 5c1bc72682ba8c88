#pragma once

#include <QString>

#include <cstdint>
#include <optional>

class Timeline;

// The arithmetic of the time bars, free of widgets: where a frame lies on a bar and which
// frame lies under a pixel, and the texts the bars show for frames and lengths. Pure
// functions; any thread.
namespace TimeControlFormat {

// The display formats, stored as these ints in the settings.
enum DisplayFormat {
    FrameNumbersGlobal = 0,
    FrameNumbersRange = 1,
    Seconds = 2,
    TimeCode = 3,
    FrameNumbersImage = 4,
};
constexpr int kDisplayFormatCount = 5;

// The menu name of a display format ("Frame Numbers (Global)", ...); empty when unknown.
QString DisplayFormatName(int format);
// A stored display format, or 0 when it is none of the five.
int ValidDisplayFormat(int format);

// A span of frames first..last laid over a track of `width` pixels starting at `x`.
// Nothing is mapped when the span holds no frame or the track no pixel.
struct FrameMapping
{
    int first = 0;
    int last = -1;
    int x = 0;
    int width = 0;

    int Count() const { return last - first + 1; }
    // Pixels per frame, in single precision as the bars draw them; 0 when nothing is mapped.
    float PixelsPerFrame() const;
    bool IsMapped() const { return PixelsPerFrame() > 0.0f; }
    // The frame under pixel column `px`, truncated and clamped to first..last.
    std::optional<int> FrameAt(int px) const;
    // The left pixel of `frame` (frames past `last` give the pixels beyond the track: the
    // right edge of the last frame is XOf(last + 1)); nothing when nothing is mapped.
    std::optional<int> XOf(int frame) const;
};

// What a frame label is made of, as read from a timeline by LabelInputFor.
struct LabelInput
{
    int frame = 0;             // timeline frame index
    int offset = 0;            // added to frame numbers (0 when the label asks for none)
    int rangeStart = 0;        // playback range start frame
    int64_t frameStartTime = 0; // µs, the timeline time of `frame`
    int64_t endTime = 0;       // µs, the timeline's end time
    double frameRate = 24.0;   // at the current frame, for time codes
    int imageNumber = -1;      // the number in the image's file name, -1 when none
};

// Whole frames per second of a time code: the rate rounded half up; a rate of 0 or less
// counts as 1.
int TimeCodeRate(double frameRate);
// "[hh:]mm:ss:ff" of `frame` at `fps` whole frames per second.
QString TimeCodeText(int64_t frame, int fps);
// The label of a frame in `format`.
QString FrameLabel(int format, const LabelInput& input);
// The label of a playback range of `frameCount` frames lasting `duration` µs.
QString RangeLengthLabel(int format, int frameCount, int64_t duration, double frameRate);

// The inputs of the label of `frame` on `timeline` (the time code rate taken at
// `currentFrame`); `withOffset` adds the timeline's time-control frame offset.
LabelInput LabelInputFor(const Timeline& timeline, int frame, int currentFrame, bool withOffset, int rangeStart);

} // namespace TimeControlFormat
