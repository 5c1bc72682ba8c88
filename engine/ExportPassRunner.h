#pragma once

#include <QString>

#include <functional>
#include <memory>

class Timeline;
struct ExportProperties;

// Runs one pass of an export (the export library implements it; the engine only calls it, so
// the engine does not depend on the export code). Installed on the media manager with
// AvManager::SetExportPassRunner.
class ExportPassRunner
{
public:
    // Receives every log line of the pass: text, channel (ExportLoggingMsgType), error flag.
    using LogFunction = std::function<void(const QString& text, int msgType, bool isErrorMsg)>;

    virtual ~ExportPassRunner() = default;

    // Runs the pass of `mode` (1 audio, 2 video) over `timeline`, a copy owned by the engine
    // for this pass alone, on the calling thread (an engine worker thread), and returns when
    // it has ended. Reads and updates `request`; checks its cancelled flag while it waits.
    virtual void RunPass(int mode, Timeline* timeline, const std::shared_ptr<ExportProperties>& request,
                         const LogFunction& log) = 0;
};
