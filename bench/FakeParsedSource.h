#pragma once

#include "media/SourceFileEntry.h"
#include "project/Source.h"

#include <cstdint>

namespace Bench {

// Makes `source` look probed without a file: one video stream of `frames` frames at `rate`
// fps, for benchmarks that need long timelines but no decoding.
inline void FakeParsedVideo(Source& source, int frames, double rate)
{
    SourceFileEntry* entry = source.ParserFileEntry(0);
    VideoStreamInfo& video = entry->videoStreams.emplace_back();
    video.valid = true;
    video.frameRate = rate;
    video.frameDuration = 1e6 / rate;
    video.frameCount = frames;
    video.endTime = static_cast<int64_t>(frames * video.frameDuration) - 1;
    entry->parsed = true;
    source.ParserSetEndTimes(video.endTime);
    source.ParserFinished();
}

} // namespace Bench
