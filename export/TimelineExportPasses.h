#pragma once

#include "engine/ExportPassRunner.h"

// The export passes the media engine runs: each pass is an ExportManager created, run and
// deleted on the engine thread that calls RunPass. The ffmpeg version line that starts an
// export's general log is the runner's (it logs it once, before anything else).
class TimelineExportPasses : public ExportPassRunner
{
public:
    void RunPass(int mode, Timeline* timeline, const std::shared_ptr<ExportProperties>& request,
                 const LogFunction& log) override;
};
