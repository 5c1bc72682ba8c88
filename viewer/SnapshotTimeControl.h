#pragma once

// What a capture of several frames asks of the player's time control: the frames it spans and
// moving the playhead. The player panel implements it over its time bars (a layer above this
// one). Main thread only.
class SnapshotTimeControl
{
public:
    virtual ~SnapshotTimeControl() = default;

    // The first and last frame the time control spans now (the whole timeline).
    virtual int StartFrame() const = 0;
    virtual int EndFrame() const = 0;
    // The playback range as the range control shows it.
    virtual int RangeStartFrame() const = 0;
    virtual int RangeEndFrame() const = 0;
    // Moves the playhead to timeline frame `frame`. The viewer shows that frame once the engine
    // delivers it, now or later; a seek that never lands is the capture's timeout to handle.
    virtual void SeekFrame(int frame) = 0;
};
