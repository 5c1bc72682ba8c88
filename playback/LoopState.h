#pragma once

// What the clock does at a bound of the playback range while playing.
enum LoopState : int {
    LoopOff = 0,      // "Play Once": stop at the bound
    LoopOn = 1,       // "Loop": jump to the opposite bound and go on
    LoopPingPong = 2, // "Ping-Pong": stay at the bound and reverse
};
