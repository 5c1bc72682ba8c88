#pragma once

#include "media/SourceStatus.h"

#include <cstdint>
#include <optional>

// What probing one file means for the source the file belongs to. The parser fills only the
// file's entry; whoever owns the source writes this into it and announces the parse.
struct ParseResult
{
    // The source's status after the parse; none when the outcome says nothing about the
    // whole source (a frame of an image sequence that could not be opened).
    std::optional<SourceStatus> status;
    // Movies and sound files whose streams were found: the source's end time (µs, last
    // microsecond): the container's, cut to its first video stream's, else its first audio
    // stream's. None for image sequences and for files that could not be read.
    std::optional<int64_t> endTime;
    // µs, last microsecond as the container announces it; set with `endTime`.
    int64_t containerEndTime = -1;
};
