#pragma once

#include "media/AudioStreamInfo.h"
#include "media/MetadataMap.h"
#include "media/SourceStatus.h"
#include "media/VideoStreamInfo.h"

#include <QString>

#include <deque>

// One file of a source (the one file of a movie, or one frame of an image sequence) with
// what probing found in it: the record the parser fills and the decoders open. Stream
// records sit in deques so that their addresses stay put while records are appended;
// decoders and frames point at them. The entry belongs to whoever made it (the project's
// source) and must outlive every parser and decoder given it.
struct SourceFileEntry
{
    QString filePath;
    bool parsed = false;
    SourceStatus status = SourceStatus::Ok;
    int32_t frameNumber = -1; // from the file name, image sequences only
    bool imageSequence = false; // the file is one frame of an image sequence
    bool exr = false;           // an OpenEXR frame of an image sequence
    // µs, last microsecond of the file as its container announces it; -1 until parsed, and
    // for image-sequence files. Stream end times are measured against it.
    int64_t endTime = -1;
    MetadataMap metadata;
    std::deque<AudioStreamInfo> audioStreams;
    std::deque<VideoStreamInfo> videoStreams;
};
