#pragma once

#include <cstdint>

class Timeline;

// What the project operations need from the media engine, which sits above the project: the
// engine implements it and hands it to the ProjectManager. Main thread only.
class ProjectEngine
{
public:
    virtual ~ProjectEngine() = default;

    // Has the source of a source timeline parsed; its Parsed (or Updated) signal follows,
    // possibly before this returns. False when the engine cannot take the parse (it is shutting
    // down, or the source's frames are in use): then no signal comes.
    virtual bool ParseSource(Timeline* sourceTimeline) = 0;
    // Shows `timeline` in viewer `viewer` (0..3), taking it out of any other viewer, and plays
    // it when `autoPlay`; a null timeline empties the viewer. The timeline's output id follows.
    virtual void ShowInViewer(Timeline* timeline, int viewer, bool autoPlay) = 0;
    virtual void PausePlayback() = 0;
    // The timeline the playback controls act on (the clock's), or null.
    virtual Timeline* PrimaryTimeline() const = 0;
    // Plays the active timeline in the given direction, or pauses when `playing` is false.
    virtual void SetPlaying(bool playing, bool forward) = 0;
    // Moves the active timeline's playhead to `time` (µs) as a seek, scrubbing sound with it
    // when `audioScrub`. The timeline's playback time holds the new time when this returns.
    virtual void SeekPlayback(int64_t time, bool audioScrub) = 0;
};
