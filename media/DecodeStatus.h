#pragma once

#include <cstdint>

// What one step of a decoder (video, audio or image sequence) reports. Each decoder's header
// says which of these it returns and exactly when.
enum class DecodeStatus : int32_t {
    MoreToCome = 0,   // call again for more
    Busy = 1,         // nothing could be started now; call again once work in flight is done
    StartReached = 2, // backwards: the stream's start was reached
    EndOfFile = 3,    // forwards: the stream's end was reached
};
