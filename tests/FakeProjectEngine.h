#pragma once

#include "project/ProjectEngine.h"
#include "project/Source.h"
#include "project/Timeline.h"
#include "tests/TestSupport.h"

// The engine as the project manager sees it, without threads: parses on the spot, as the
// engine would a moment later, and remembers what each viewer was asked to show.
class FakeProjectEngine : public ProjectEngine
{
public:
    bool ParseSource(Timeline* sourceTimeline) override
    {
        if (refuse)
            return false;
        ++parses;
        TestSupport::Parse(sourceTimeline->GetSource());
        return true;
    }
    void ShowInViewer(Timeline* timeline, int viewer, bool autoPlay) override
    {
        shown[viewer] = timeline;
        autoPlayed[viewer] = autoPlay;
    }
    void PausePlayback() override { playing = false; }
    Timeline* PrimaryTimeline() const override { return primary; }
    void SetPlaying(bool play, bool forward) override
    {
        playing = play;
        playingForward = forward;
    }
    void SeekPlayback(int64_t time, bool audioScrub) override
    {
        seeks.append(time);
        scrubbed = audioScrub;
        if (primary)
            primary->SetPlaybackTime(time, true);
    }

    int parses = 0;
    bool refuse = false; // as an engine shutting down
    Timeline* shown[4] = {};
    bool autoPlayed[4] = {}; // the autoplay asked for with what each viewer shows
    Timeline* primary = nullptr; // what the playback controls act on
    bool playing = false;
    bool playingForward = true;
    bool scrubbed = false;
    QList<int64_t> seeks;
};
