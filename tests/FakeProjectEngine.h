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
    void ShowInViewer(Timeline* timeline, int viewer, bool) override { shown[viewer] = timeline; }
    void PausePlayback() override {}

    int parses = 0;
    bool refuse = false; // as an engine shutting down
    Timeline* shown[4] = {};
};
