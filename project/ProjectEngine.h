#pragma once

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
};
