#pragma once

#include "playback/AudioOutputSettings.h"

#include <QMetaType>

#include <memory>

class ExportPassRunner;
class Source;
class Timeline;
struct ExportProperties;

// One job for an engine worker thread. Owned by the media manager's entry for the worker;
// workers only read it. The timeline and source are borrowed (see Timeline and Source).
struct AvWorkerTask
{
    enum Type {
        ParseSource = 1,
        DecodeAudio = 2,
        DecodeVideo = 3,
        ExportAudio = 4,
        ExportVideo = 5,
        AudioOutput = 6,
    };

    int type = 0;
    Timeline* timeline = nullptr; // the timeline (or source timeline) worked on
    Source* source = nullptr;     // a parse task's source, found on the main thread
    ExportProperties* exportProperties = nullptr; // an export task's request (exportRequest's)
    // An export task's request, shared with the main thread, and the passes that run it.
    // The timeline of an export task is the engine's own copy, made for that task alone.
    std::shared_ptr<ExportProperties> exportRequest;
    std::shared_ptr<ExportPassRunner> exportRunner;
    // The settings the task's thread reads, copied on the main thread when the task starts.
    int imageSequenceThreadCount = 0;
    AudioOutputSettings audioOutput;

    bool IsDecode() const { return type == DecodeAudio || type == DecodeVideo; }
    bool IsExport() const { return type == ExportAudio || type == ExportVideo; }
};

Q_DECLARE_METATYPE(AvWorkerTask*)
