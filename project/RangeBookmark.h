#pragma once

#include <cstdint>
#include <tuple>

// A span of timeline frames the reviewer marked; both ends inclusive.
struct RangeBookmark
{
    int32_t startFrame = 0;
    int32_t endFrame = 0;

    bool operator==(const RangeBookmark&) const = default;
    // Sorted by start, then end.
    bool operator<(const RangeBookmark& other) const
    {
        return std::tie(startFrame, endFrame) < std::tie(other.startFrame, other.endFrame);
    }
};
