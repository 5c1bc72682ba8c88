#pragma once

#include <cstdint>

// Which of a timeline's two runs of frames a decode task fills.
enum class DecodeType : int32_t {
    None = 0, // no decoding; refused by the decode manager
    Audio = 1,
    Video = 2,
};
