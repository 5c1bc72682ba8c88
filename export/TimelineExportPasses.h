#pragma once

#include "engine/ExportPassRunner.h"

// The export passes the media engine runs: each pass is an ExportManager created, run and
// deleted on the engine thread that calls RunPass. The first pass of an export starts the
// general log with the ffmpeg version line.
class TimelineExportPasses : public ExportPassRunner
{
public:
    void RunPass(int mode, Timeline* timeline, const std::shared_ptr<ExportProperties>& request,
                 const LogFunction& log) override;
};
